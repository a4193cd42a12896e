#pragma once
// A text in 16 bytes: up to 15 bytes live inside the object, longer texts on the heap.
// Every host has a display text and a million hosts are many; a dotted quad always fits
// inside, so an unnamed host's texts never allocate.
#include <compare>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sondrel {

class ShortText {
public:
    static constexpr size_t kInline = 15;

    ShortText() { Clear(); }
    ShortText(std::string_view text) { Assign(text); }  // NOLINT: converts like std::string
    ShortText(const std::string& text) : ShortText(std::string_view(text)) {}
    ShortText(const char* text) : ShortText(std::string_view(text)) {}
    ShortText(const ShortText& other) { Assign(other.View()); }
    ShortText(ShortText&& other) noexcept;
    ShortText& operator=(const ShortText& other);
    ShortText& operator=(ShortText&& other) noexcept;
    ShortText& operator=(std::string_view text);
    ShortText& operator=(const std::string& text) { return *this = std::string_view(text); }
    ShortText& operator=(const char* text) { return *this = std::string_view(text); }
    ~ShortText() { Release(); }

    std::string_view View() const;
    operator std::string_view() const { return View(); }  // NOLINT: reads like a string
    std::string Str() const { return std::string(View()); }
    operator std::string() const { return Str(); }  // NOLINT
    const char* data() const { return View().data(); }
    size_t size() const { return View().size(); }
    bool empty() const { return size() == 0; }
    // Always terminated, as C formatting wants.
    const char* c_str() const { return data(); }

    friend bool operator==(const ShortText& a, const ShortText& b) { return a.View() == b.View(); }
    friend bool operator==(const ShortText& a, std::string_view b) { return a.View() == b; }
    friend bool operator==(const ShortText& a, const std::string& b) { return a.View() == b; }
    friend bool operator==(const ShortText& a, const char* b) { return a.View() == b; }

private:
    // Inline: bytes_[15] holds 15 - size, so a 15-byte text ends in its own terminator.
    // Heap: bytes_[15] is kHeapMark and the first bytes hold the pointer and the size.
    static constexpr unsigned char kHeapMark = 0xFF;
    struct Heap {
        char* text;
        uint32_t size;
    };
    bool OnHeap() const { return static_cast<unsigned char>(bytes_[kInline]) == kHeapMark; }
    Heap HeapPart() const;
    void Assign(std::string_view text);
    void Clear();
    void Release();

    alignas(8) char bytes_[16];
};

static_assert(sizeof(ShortText) == 16);

}  // namespace sondrel
