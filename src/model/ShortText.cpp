#include "model/ShortText.h"

#include <cstring>

namespace sondrel {

ShortText::ShortText(ShortText&& other) noexcept {
    std::memcpy(bytes_, other.bytes_, sizeof bytes_);
    other.Clear();
}

ShortText& ShortText::operator=(const ShortText& other) {
    if (this != &other) *this = other.View();
    return *this;
}

ShortText& ShortText::operator=(ShortText&& other) noexcept {
    if (this != &other) {
        Release();
        std::memcpy(bytes_, other.bytes_, sizeof bytes_);
        other.Clear();
    }
    return *this;
}

ShortText& ShortText::operator=(std::string_view text) {
    // The text may point into this object: copy it before letting go of the old one.
    ShortText fresh(text);
    return *this = std::move(fresh);
}

ShortText::Heap ShortText::HeapPart() const {
    Heap heap;
    std::memcpy(&heap, bytes_, sizeof heap);
    return heap;
}

std::string_view ShortText::View() const {
    if (OnHeap()) {
        const Heap heap = HeapPart();
        return {heap.text, heap.size};
    }
    return {bytes_, kInline - static_cast<unsigned char>(bytes_[kInline])};
}

void ShortText::Assign(std::string_view text) {
    if (text.size() <= kInline) {
        std::memset(bytes_, 0, sizeof bytes_);
        if (!text.empty()) std::memcpy(bytes_, text.data(), text.size());
        bytes_[kInline] = static_cast<char>(kInline - text.size());
        return;
    }
    Heap heap{new char[text.size() + 1], static_cast<uint32_t>(text.size())};
    std::memcpy(heap.text, text.data(), text.size());
    heap.text[text.size()] = '\0';
    std::memcpy(bytes_, &heap, sizeof heap);
    bytes_[kInline] = static_cast<char>(kHeapMark);
}

void ShortText::Clear() {
    std::memset(bytes_, 0, sizeof bytes_);
    bytes_[kInline] = static_cast<char>(kInline);
}

void ShortText::Release() {
    if (OnHeap()) delete[] HeapPart().text;
}

}  // namespace sondrel
