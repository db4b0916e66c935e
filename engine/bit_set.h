// A growable set of bits, one per canvas pixel, marking what a rendering painted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fernweave {

class BitSet {
public:
    BitSet() = default;
    explicit BitSet(std::size_t bits) { Resize(bits); }

    std::size_t Size() const { return size_; }

    // Sets the size and clears every bit.
    void Resize(std::size_t bits);

    // Makes room for `bits` bits without changing the size, so that later
    // growth by Set never allocates (the render loop relies on this).
    void Reserve(std::size_t bits);

    // Reading at or beyond the size is an error (std::out_of_range).
    bool Test(std::size_t index) const;

    // Setting beyond the size first grows the set to index + 1 bits.
    void Set(std::size_t index) {
        if (index >= size_) Grow(index + 1);
        words_[index >> 6] |= std::uint64_t{1} << (index & 63);
    }

    void Clear(std::size_t index);

    // For the render loop: reserves room for `bits` bits and hands out the
    // words, which stay valid until the set is resized. Bits written there
    // count once GrowTo has raised the size over them.
    std::uint64_t* ReserveWords(std::size_t bits) {
        Reserve(bits);
        return words_.data();
    }
    void GrowTo(std::size_t bits) {
        if (bits > size_) Grow(bits);
    }
    void Assign(std::size_t index, bool value) { value ? Set(index) : Clear(index); }

    friend bool operator==(const BitSet& a, const BitSet& b);

private:
    void Grow(std::size_t bits);

    // Words past the size are always zero.
    std::vector<std::uint64_t> words_;
    std::size_t size_ = 0;
};

}  // namespace fernweave
