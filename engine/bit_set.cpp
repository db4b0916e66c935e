#include "bit_set.h"

#include <stdexcept>
#include <string>

namespace fernweave {

namespace {
std::size_t WordsFor(std::size_t bits) { return (bits + 63) / 64; }
}  // namespace

void BitSet::Resize(std::size_t bits) {
    words_.assign(WordsFor(bits), 0);
    size_ = bits;
}

void BitSet::Reserve(std::size_t bits) {
    if (WordsFor(bits) > words_.size()) words_.resize(WordsFor(bits), 0);
}

bool BitSet::Test(std::size_t index) const {
    if (index >= size_)
        throw std::out_of_range("Bits index out of range (" + std::to_string(index) + ")");
    return (words_[index >> 6] >> (index & 63)) & 1;
}

void BitSet::Clear(std::size_t index) {
    if (index >= size_) {
        Grow(index + 1);
        return;  // new bits are clear already
    }
    words_[index >> 6] &= ~(std::uint64_t{1} << (index & 63));
}

void BitSet::Grow(std::size_t bits) {
    if (WordsFor(bits) > words_.size()) words_.resize(WordsFor(bits), 0);
    size_ = bits;
}

bool operator==(const BitSet& a, const BitSet& b) {
    if (a.size_ != b.size_) return false;
    const std::size_t n = WordsFor(a.size_);
    for (std::size_t i = 0; i < n; ++i)
        if (a.words_[i] != b.words_[i]) return false;
    return true;
}

}  // namespace fernweave
