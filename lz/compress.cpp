// compress.cpp: the SZDD (mode A) compressor: a binary-tree match finder
// over the 4096-byte window and an optimal parse of each block.
//
// Every literal costs 9 bits and every match 17 (flag bit included), so
// the cheapest token sequence over a block is a shortest path that a
// backwards pass finds exactly. Only the longest match at each position is
// needed: any shorter length at the same distance is a match too.
#include "szdd_pack.h"

#include <algorithm>
#include <cstring>

#include "szdd.h"

namespace {

constexpr size_t max_distance = szdd_ring;   // a full ring back is still there
constexpr int literal_cost = 9;
constexpr int match_cost = 17;
// The parse runs over blocks of this size (its tables cost 7 bytes per
// input byte); a match never crosses a block's end, which costs at most a
// few bits per block.
constexpr size_t parse_block = size_t(1) << 22;

constexpr int hash_bits = 16;
constexpr size_t tree_size = 2 * szdd_ring;  // nodes by position, mod this:
                                            // a node a full window back
                                            // must not share the new one's slot

// Longest matches by binary trees, one tree per hash of three bytes, kept
// as in a treap whose priority is the position: a node is newer than all
// below it, so the first node past the window ends the search and cuts
// its whole subtree. Inserting a position searches the tree on the way.
class match_finder {
public:
    match_finder(const uint8_t *data, size_t n)
        : data_(data), n_(n), head_(size_t(1) << hash_bits, -1), son_(2 * tree_size, -1) {}

    // Inserts `pos` (positions come in order, each once) and returns the
    // longest match length for it (0 when under szdd_min_match), with its
    // distance in `dist`.
    unsigned insert(size_t pos, unsigned *dist)
    {
        size_t avail = std::min<size_t>(szdd_max_match, n_ - pos);
        if (avail < szdd_min_match)
            return 0;                   // nothing later can match here either
        const uint8_t *cur = data_ + pos;
        uint32_t h = (uint32_t(cur[0]) << 16 | uint32_t(cur[1]) << 8 | cur[2]) * 2654435761u;
        h >>= 32 - hash_bits;
        long cand = head_[h];
        head_[h] = long(pos);

        long *ptr0 = &son_[(pos % tree_size) * 2 + 1]; // gets the greater side
        long *ptr1 = &son_[(pos % tree_size) * 2];     // gets the lesser side
        size_t len0 = 0, len1 = 0;
        unsigned best = 0;
        for (;;) {
            if (cand < 0 || pos - size_t(cand) > max_distance) {
                *ptr0 = *ptr1 = -1;
                break;
            }
            long *pair = &son_[(size_t(cand) % tree_size) * 2];
            const uint8_t *m = data_ + cand;
            size_t len = std::min(len0, len1);
            while (len < avail && m[len] == cur[len])
                len++;
            if (len > best) {
                best = unsigned(len);
                *dist = unsigned(pos - size_t(cand));
            }
            if (len == avail) {
                // equal as far as any match can see: the new node takes the
                // old one's place and children
                *ptr1 = pair[0];
                *ptr0 = pair[1];
                break;
            }
            if (m[len] < cur[len]) {
                *ptr1 = cand;
                ptr1 = &pair[1];
                cand = *ptr1;
                len1 = len;
            } else {
                *ptr0 = cand;
                ptr0 = &pair[0];
                cand = *ptr0;
                len0 = len;
            }
        }
        return best >= szdd_min_match ? best : 0;
    }

private:
    const uint8_t *data_;
    size_t n_;
    std::vector<long> head_;  // newest position per hash, -1 for none
    std::vector<long> son_;   // lesser and greater child per node, -1 for none
};

// Appends tokens, gathering eight flag bits (low bit first, 1 = literal)
// in front of their tokens.
class token_writer {
public:
    explicit token_writer(std::vector<uint8_t> &out) : out_(out) {}

    void literal(uint8_t c)
    {
        open_group();
        out_[flag_at_] |= uint8_t(1u << count_++);
        out_.push_back(c);
    }

    // A match at output offset `pos`, `dist` bytes back, `len` long: the
    // stream names the ring position the source starts at.
    void match(size_t pos, unsigned dist, unsigned len)
    {
        open_group();
        count_++;
        unsigned ring = unsigned(szdd_ring_start + pos - dist) & (szdd_ring - 1);
        out_.push_back(uint8_t(ring));
        out_.push_back(uint8_t((ring >> 4 & 0xF0u) | (len - szdd_min_match)));
    }

private:
    void open_group()
    {
        if (count_ == 8 || flag_at_ == npos) {
            flag_at_ = out_.size();
            out_.push_back(0);
            count_ = 0;
        }
    }

    static constexpr size_t npos = size_t(-1);
    std::vector<uint8_t> &out_;
    size_t flag_at_ = npos;   // where the open group's flag byte is
    unsigned count_ = 0;      // tokens in the open group
};

} // namespace

std::vector<uint8_t> szdd_compress(const uint8_t *data, size_t n, uint8_t last_char)
{
    // The header holds the length in 32 bits.
    if (n > 0xFFFFFFFFu)
        return {};
    std::vector<uint8_t> out(szdd_header_size);
    szdd_write_header(out.data(), last_char, uint32_t(n));
    out.reserve(szdd_header_size + n / 2 + 64);

    match_finder finder(data, n);
    token_writer tokens(out);
    size_t block = std::min(n, parse_block);
    std::vector<uint8_t> len(block);     // longest match at each position,
    std::vector<uint16_t> dist(block);   // then the chosen token's length
    std::vector<uint32_t> cost(block + 1);

    for (size_t start = 0; start < n; start += block) {
        size_t size = std::min(block, n - start);
        for (size_t i = 0; i < size; i++) {
            unsigned d = 0;
            unsigned m = finder.insert(start + i, &d);
            len[i] = uint8_t(std::min<size_t>(m, size - i)); // not past the block
            dist[i] = uint16_t(d);
        }

        // Cheapest cost from each position to the block's end; on a tie the
        // longer token wins, which makes fewer tokens to decode.
        cost[size] = 0;
        for (size_t i = size; i-- > 0;) {
            uint32_t best = cost[i + 1] + literal_cost;
            unsigned choice = 1;
            for (unsigned l = len[i]; l >= szdd_min_match; l--) {
                uint32_t c = cost[i + l] + match_cost;
                if (c < best || (c == best && choice == 1)) {
                    best = c;
                    choice = l;
                }
            }
            cost[i] = best;
            len[i] = uint8_t(choice);
        }

        for (size_t i = 0; i < size;) {
            if (len[i] == 1) {
                tokens.literal(data[start + i]);
                i++;
            } else {
                tokens.match(start + i, dist[i], len[i]);
                i += len[i];
            }
        }
    }
    return out;
}
