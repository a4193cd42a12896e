#include "details/AddressDatWriter.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "details/LocationDb.h"

namespace sondrel {

namespace {

constexpr uint32_t Addr(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    return a << 24 | b << 16 | c << 8 | d;
}

NamedRange Block(uint32_t start, int prefix, const char* location, const char* detail) {
    uint32_t size = prefix == 0 ? 0 : (uint32_t{1} << (32 - prefix)) - 1;
    return {start, start + size, location, detail};
}

// Country names too long for the location column, or better known by a shorter name.
const std::map<std::string_view, std::string_view>& ShortNames() {
    static const std::map<std::string_view, std::string_view> names = {
        {"A1", "Anon. proxy"}, {"A2", "Satellite"},    {"AE", "UAE"},        {"AG", "Antigua"},
        {"AN", "Antilles"},    {"AP", "Asia/Pacific"}, {"AS", "Am. Samoa"},  {"AX", "Aland"},
        {"BA", "Bosnia"},      {"BF", "Burkina"},      {"BL", "St Barth"},   {"BN", "Brunei"},
        {"BQ", "Bonaire"},     {"BV", "Bouvet"},       {"CC", "Cocos Isl."}, {"CD", "DR Congo"},
        {"CF", "C. Africa"},   {"CI", "Ivory Coast"},  {"CK", "Cook Isl."},  {"CX", "Christmas"},
        {"CZ", "Czechia"},     {"DO", "Dom. Rep."},    {"EH", "W. Sahara"},  {"FK", "Falklands"},
        {"FM", "Micronesia"},  {"FO", "Faroe"},        {"GB", "UK"},         {"GF", "Fr. Guiana"},
        {"GQ", "Eq. Guinea"},  {"GS", "S. Georgia"},   {"GW", "G.-Bissau"},  {"HM", "Heard Isl."},
        {"IM", "I. of Man"},   {"IO", "Chagos"},       {"IR", "Iran"},       {"KN", "St Kitts"},
        {"KP", "North Korea"}, {"KR", "South Korea"},  {"KY", "Cayman"},     {"LA", "Laos"},
        {"LI", "Liechtenst."}, {"MD", "Moldova"},      {"MF", "St Martin"},  {"MH", "Marshall I."},
        {"MP", "N. Mariana"},  {"NC", "N.Caledonia"},  {"NF", "Norfolk I."}, {"PF", "Polynesia"},
        {"PG", "Papua N.G."},  {"PM", "St Pierre"},    {"PN", "Pitcairn"},   {"PS", "Palestine"},
        {"RU", "Russia"},      {"SA", "Saudi"},        {"SB", "Solomon I."}, {"SH", "St Helena"},
        {"SJ", "Svalbard"},    {"SL", "S. Leone"},     {"ST", "Sao Tome"},   {"SX", "St Maarten"},
        {"SY", "Syria"},       {"TC", "Turks&Caicos"}, {"TF", "Fr.S.Terr."}, {"TT", "Trinidad"},
        {"TZ", "Tanzania"},    {"UM", "US Islands"},   {"US", "USA"},        {"VA", "Vatican"},
        {"VC", "St Vincent"},  {"VG", "Br. Virgin"},   {"VI", "US Virgin"},  {"WF", "Wallis"},
        {"ZA", "S. Africa"},
    };
    return names;
}

// Full names longer than the detail column even with blanks kept as no-break spaces.
const std::map<std::string_view, std::string_view>& LongNames() {
    static const std::map<std::string_view, std::string_view> names = {
        {"GS", "S. Georgia and the S. Sandwich Islands"},
    };
    return names;
}

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

std::string CutAtCharacter(std::string text, size_t width) {
    if (text.size() <= width) return text;
    size_t cut = width;
    while (cut > 0 && IsContinuationByte(text[cut])) --cut;
    text.resize(cut);
    return text;
}

// "Korea, Republic of" -> "Korea"; "Cocos (Keeling) Islands" -> "Cocos".
std::string_view CommonPart(std::string_view name) {
    size_t cut = std::min(name.find(','), name.find(" ("));
    name = name.substr(0, cut);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    return name;
}

std::string Dotted(uint32_t addr) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", addr >> 24, (addr >> 16) & 255,
                  (addr >> 8) & 255, addr & 255);
    return text;
}

void Put(std::string& record, AddressDatColumn column, std::string_view text) {
    record.replace(column.offset, std::min(text.size(), column.width),
                   text.substr(0, column.width));
}

bool Inside(const NamedRange& inner, const NamedRange& outer) {
    return inner.from >= outer.from && inner.to <= outer.to && &inner != &outer;
}

// Sorted, neighbours of the same country merged into one range.
std::vector<CountryRange> Merged(std::vector<CountryRange> countries) {
    std::sort(countries.begin(), countries.end(),
              [](const CountryRange& a, const CountryRange& b) { return a.from < b.from; });
    std::vector<CountryRange> out;
    for (CountryRange& c : countries) {
        if (!out.empty() && out.back().code == c.code && out.back().name == c.name &&
            uint64_t{out.back().to} + 1 == c.from) {
            out.back().to = c.to;
            continue;
        }
        out.push_back(std::move(c));
    }
    return out;
}

// The parts of [c.from, c.to] that no top-level special range covers.
void AppendOutside(const CountryRange& c, std::span<const NamedRange* const> tops,
                   std::vector<NamedRange>& out) {
    uint64_t from = c.from;
    const uint64_t to = c.to;
    NamedRange piece{0, 0, ShortCountryName(c.code, c.name), CountryDetail(c.code, c.name)};
    for (const NamedRange* s : tops) {
        if (from > to) break;
        if (s->to < from || s->from > to) continue;
        if (s->from > from) {
            piece.from = static_cast<uint32_t>(from);
            piece.to = s->from - 1;
            out.push_back(piece);
        }
        from = uint64_t{s->to} + 1;
    }
    if (from <= to) {
        piece.from = static_cast<uint32_t>(from);
        piece.to = static_cast<uint32_t>(to);
        out.push_back(piece);
    }
}

}  // namespace

const std::vector<NamedRange>& SpecialRanges() {
    static const std::vector<NamedRange> ranges = {
        Block(Addr(0, 0, 0, 0), 8, "Reserved", "This network"),
        Block(Addr(10, 0, 0, 0), 8, "Private", "Private network"),
        Block(Addr(100, 64, 0, 0), 10, "Shared", "Shared address space (carrier NAT)"),
        Block(Addr(127, 0, 0, 0), 8, "Loopback", "Loopback"),
        Block(Addr(169, 254, 0, 0), 16, "Link-local", "Link-local addresses"),
        Block(Addr(172, 16, 0, 0), 12, "Private", "Private network"),
        Block(Addr(192, 0, 0, 0), 24, "Reserved", "IETF protocol assignments"),
        Block(Addr(192, 0, 2, 0), 24, "TEST-NET-1", "Documentation (TEST-NET-1)"),
        Block(Addr(192, 168, 0, 0), 16, "Private", "Private network"),
        Block(Addr(198, 18, 0, 0), 15, "Benchmark", "Network benchmark tests"),
        Block(Addr(198, 51, 100, 0), 24, "TEST-NET-2", "Documentation (TEST-NET-2)"),
        Block(Addr(203, 0, 113, 0), 24, "TEST-NET-3", "Documentation (TEST-NET-3)"),
        Block(Addr(224, 0, 0, 0), 4, "Multicast", "Multicast"),
        Block(Addr(240, 0, 0, 0), 4, "Reserved", "Reserved for future use"),
        Block(Addr(255, 255, 255, 255), 32, "Broadcast", "Limited broadcast"),
    };
    return ranges;
}

std::string FitColumn(std::string_view text, size_t width) {
    std::string kept;
    for (char c : text) {
        if (c == ' ')
            kept += "\xC2\xA0";
        else
            kept += c;
    }
    if (kept.size() <= width) return kept;
    return CutAtCharacter(std::string(text), width);
}

std::string ShortCountryName(std::string_view code, std::string_view name) {
    auto found = ShortNames().find(code);
    std::string_view chosen = found != ShortNames().end() ? found->second : CommonPart(name);
    return FitColumn(chosen, kLocationColumn.width);
}

std::string CountryDetail(std::string_view code, std::string_view name) {
    auto found = LongNames().find(code);
    return FitColumn(found != LongNames().end() ? found->second : name, kDetailColumn.width);
}

std::vector<NamedRange> PlanAddressDat(std::vector<CountryRange> countries,
                                       std::span<const NamedRange> specials) {
    std::vector<const NamedRange*> tops;
    for (const NamedRange& s : specials) {
        bool nested = std::any_of(specials.begin(), specials.end(),
                                  [&](const NamedRange& o) { return Inside(s, o); });
        if (!nested) tops.push_back(&s);
    }
    std::sort(tops.begin(), tops.end(),
              [](const NamedRange* a, const NamedRange* b) { return a->from < b->from; });

    // Top-level entries; special ones remember their table entry to find their children.
    std::vector<std::pair<NamedRange, const NamedRange*>> top;
    for (const NamedRange* s : tops) top.emplace_back(*s, s);
    std::vector<NamedRange> pieces;
    for (const CountryRange& c : Merged(std::move(countries))) AppendOutside(c, tops, pieces);
    for (NamedRange& p : pieces) top.emplace_back(std::move(p), nullptr);
    std::stable_sort(top.begin(), top.end(),
                     [](const auto& a, const auto& b) { return a.first.from < b.first.from; });

    std::vector<NamedRange> out;
    for (auto& [range, special] : top) {
        out.push_back(std::move(range));
        if (special == nullptr) continue;
        std::vector<NamedRange> children;
        for (const NamedRange& s : specials)
            if (Inside(s, *special)) children.push_back(s);
        std::stable_sort(children.begin(), children.end(),
                         [](const NamedRange& a, const NamedRange& b) { return a.from < b.from; });
        out.insert(out.end(), children.begin(), children.end());
    }
    return out;
}

std::string FormatAddressDatRecord(const NamedRange& range) {
    std::string record(kAddressDatRecordSize, ' ');
    Put(record, kStartColumn, Dotted(range.from));
    Put(record, kEndColumn, Dotted(range.to));
    Put(record, kLocationColumn, FitColumn(range.location, kLocationColumn.width));
    Put(record, kDetailColumn, FitColumn(range.detail, kDetailColumn.width));
    record.back() = '\n';
    return record;
}

std::string FormatAddressDatHeader(std::string_view text) {
    std::string header(kAddressDatHeaderSize, ' ');
    header.replace(0, std::min(text.size(), header.size() - 1), text.substr(0, header.size() - 1));
    header.back() = '\n';
    return header;
}

std::string BuildAddressDat(std::vector<CountryRange> countries,
                            std::span<const NamedRange> specials, std::string_view header) {
    std::vector<NamedRange> records = PlanAddressDat(std::move(countries), specials);
    std::string file = FormatAddressDatHeader(header);
    file.reserve(file.size() + records.size() * kAddressDatRecordSize);
    for (const NamedRange& r : records) file += FormatAddressDatRecord(r);
    return file;
}

}  // namespace sondrel
