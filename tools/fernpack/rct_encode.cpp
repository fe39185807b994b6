// RCT encoders.
//
// The optimal encoder is a shortest-path parse over pixel positions. cost[i] is the fewest
// bytes that produce pixels i..P-1 (P = width * height; pixel 0 is the stream's verbatim
// first pixel), computed from the end backwards; a command at i that makes n pixels costs
//
//   literal      1 + 3n   (n = 1..127)        long literal  3 + 3n  (n = 128..65663)
//   copy         1        (n = 1..3)          long copy     3       (n = 4..65539)
//
// and a copy from entry k may make n pixels when the n pixels from i equal the n pixels
// from i + offset(k). Because the decoder copies forward, an overlapping source (within
// the pixels being written) repeats them, and comparing the original picture with itself
// at that offset says exactly what the copy reproduces. Only entries that point back and
// stay inside the picture are used (the decoder refuses others).
//
// Making each step O(1) amortised:
// - run[k], the match length from i for entry k, is run[k] at i + 1 plus one when pixel i
//   matches, else 0: one comparison per entry and pixel, from the end.
// - Every copy window starts at i + 1 (or i + 4) and only its end depends on k, so the
//   entry with the longest match dominates all others: only that one is needed.
// - The three ranged minima (short literals over [i+1, i+127], long literals over
//   [i+128, i+65663], long copies over [i+4, i+min(longest, 65539)]) are sliding windows
//   whose both ends move towards 0 as i falls (the longest match shrinks by at most one
//   per step), so a monotonic queue gives each minimum. Literal costs are compared as
//   cost[j] + 3j, which does not depend on i.
#include "tools/fernpack/rct_encode.h"

#include <string.h>

#include "picture/rct_decode.h"
#include "picture/rct_format.h"

namespace {

const int64_t kMaxTotal = 0x7FFFFFFF;

// A pixel as one comparable value.
std::vector<uint32_t> PixelKeys(const BgrImage &image) {
  size_t count = (size_t)image.width * (size_t)image.height;
  std::vector<uint32_t> keys(count);
  const unsigned char *p = image.bgr.data();
  for (size_t i = 0; i < count; i++, p += kRctPixelSize) {
    keys[i] = (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16);
  }
  return keys;
}

// Entries the decoder accepts as sources: pointing back, by at most the whole picture.
// *distance gets the pixel distance back, 0 for an unusable entry.
void UsableDistances(int32_t width, size_t pixels, size_t distance[kRctNeighbourCount]) {
  for (int k = 0; k < kRctNeighbourCount; k++) {
    int64_t offset = RctNeighbourPixelOffset(k, width);
    distance[k] = (offset < 0 && (uint64_t)-offset <= pixels) ? (size_t)-offset : 0;
  }
}

// Sliding-window minimum of key(j) = cost[j] + step * j, for a window of positions whose
// both ends only move down. Positions enter at the back (the smallest j so far) and leave
// at the front (the largest); keys rise from front to back, so the front is the minimum.
// A window spans at most 65536 positions, the ring's size.
struct MinWindow {
  static const uint32_t kRing = 1u << 16;
  std::vector<uint32_t> ring = std::vector<uint32_t>(kRing);
  uint64_t front = 0, back = 0;  // counts of positions ever taken out / put in
  const int64_t *cost = nullptr;
  int64_t step = 0;

  int64_t Key(uint32_t j) const { return cost[j] + step * (int64_t)j; }
  bool Empty() const { return front == back; }
  // j enters; queued positions with a key no smaller can never be the minimum again,
  // since j leaves the window after them.
  void Push(uint32_t j) {
    int64_t key = Key(j);
    while (back > front && Key(ring[(back - 1) & (kRing - 1)]) >= key) back--;
    ring[back++ & (kRing - 1)] = j;
  }
  // Positions above `last` leave the window.
  void Trim(uint64_t last) {
    while (front < back && ring[front & (kRing - 1)] > last) front++;
  }
  uint32_t Min() const { return ring[front & (kRing - 1)]; }
};

// The command chosen at each pixel: a pixel count and the copy entry, or kLiteral.
const unsigned char kLiteral = 0xFF;

void PutLiteral(std::vector<unsigned char> *out, const unsigned char *pixels, size_t n) {
  if (n <= kRctLiteralMaxPixels) {
    out->push_back((unsigned char)(n - 1));
  } else {
    size_t count = n - kRctLongLiteralBase;
    out->push_back(kRctLongLiteral);
    out->push_back((unsigned char)count);
    out->push_back((unsigned char)(count >> 8));
  }
  out->insert(out->end(), pixels, pixels + n * kRctPixelSize);
}

// A run of literal pixels of any length, in as few commands as the forms allow.
void PutLiteralRun(std::vector<unsigned char> *out, const unsigned char *pixels, size_t n) {
  while (n > 0) {
    size_t take = n > kRctLongLiteralMaxPixels ? (size_t)kRctLongLiteralMaxPixels : n;
    PutLiteral(out, pixels, take);
    pixels += take * kRctPixelSize;
    n -= take;
  }
}

void PutCopy(std::vector<unsigned char> *out, int entry, size_t n) {
  unsigned char control = (unsigned char)(kRctCopyFlag | (entry << kRctEntryShift));
  if (n <= kRctCopyMaxPixels) {
    out->push_back((unsigned char)(control | (n - 1)));
  } else {
    size_t count = n - kRctLongCopyBase;
    out->push_back((unsigned char)(control | kRctLongCopyCode));
    out->push_back((unsigned char)count);
    out->push_back((unsigned char)(count >> 8));
  }
}

}  // namespace

bool CheckRctPictureSize(int64_t width, int64_t height, std::string *error) {
  if (width <= 0 || height <= 0 || width > kMaxTotal || height > kMaxTotal ||
      width * height > kMaxTotal / kRctPixelSize) {
    *error = "picture size " + std::to_string(width) + "x" + std::to_string(height) +
             " cannot be stored (at most " + std::to_string(kMaxTotal) + " bytes of pixels)";
    return false;
  }
  return true;
}

std::vector<unsigned char> EncodeRctStream(const BgrImage &image) {
  const size_t pixels = (size_t)image.width * (size_t)image.height;
  const std::vector<uint32_t> key = PixelKeys(image);
  size_t distance[kRctNeighbourCount];
  UsableDistances(image.width, pixels, distance);

  std::vector<int64_t> cost(pixels + 1, 0);
  std::vector<uint32_t> length(pixels, 0);
  std::vector<unsigned char> entry(pixels, kLiteral);

  // The usable entries, packed: entry_of[u] is the entry, back[u] its pixel distance,
  // run[u] its match length from the pixel after i.
  int usable = 0;
  int entry_of[kRctNeighbourCount];
  size_t back[kRctNeighbourCount];
  uint32_t run[kRctNeighbourCount] = {0};
  size_t interior = 0;
  for (int k = 0; k < kRctNeighbourCount; k++) {
    if (distance[k] == 0) continue;
    entry_of[usable] = k;
    back[usable++] = distance[k];
    if (distance[k] > interior) interior = distance[k];
  }
  MinWindow short_literal, long_literal, long_copy;
  short_literal.cost = long_literal.cost = long_copy.cost = cost.data();
  short_literal.step = long_literal.step = kRctPixelSize;

  for (size_t i = pixels - 1; i >= 1; i--) {
    // Match lengths, without branches on the picture's content. From `interior` on every
    // usable source lies inside the picture; before it a source before pixel 0 counts as a
    // mismatch (its index is clamped to i).
    const uint32_t here = key[i];
    if (i >= interior) {
      for (int u = 0; u < usable; u++) {
        uint32_t same = key[i - back[u]] == here;
        run[u] = (run[u] + 1) & (0u - same);
      }
    } else {
      for (int u = 0; u < usable; u++) {
        size_t from = back[u] <= i ? i - back[u] : i;
        uint32_t same = (uint32_t)(back[u] <= i) & (uint32_t)(key[from] == here);
        run[u] = (run[u] + 1) & (0u - same);
      }
    }
    uint32_t longest = 0;
    int longest_entry = 0;
    for (int u = 0; u < usable; u++) {
      bool longer = run[u] > longest;
      longest = longer ? run[u] : longest;
      longest_entry = longer ? entry_of[u] : longest_entry;
    }

    // Literals: 1 + 3n (short) or 3 + 3n (long) bytes for j = i + n.
    // Trim before Push keeps a full window within the ring.
    short_literal.Trim(i + kRctLiteralMaxPixels);
    short_literal.Push((uint32_t)(i + 1));
    int64_t best = 1 - (int64_t)kRctPixelSize * (int64_t)i + short_literal.Key(short_literal.Min());
    uint32_t best_length = short_literal.Min() - (uint32_t)i;
    unsigned char best_entry = kLiteral;

    long_literal.Trim(i + kRctLongLiteralMaxPixels);
    if (i + kRctLongLiteralBase <= pixels) long_literal.Push((uint32_t)(i + kRctLongLiteralBase));
    if (!long_literal.Empty()) {
      int64_t c = 3 - (int64_t)kRctPixelSize * (int64_t)i + long_literal.Key(long_literal.Min());
      if (c < best) {
        best = c;
        best_length = long_literal.Min() - (uint32_t)i;
      }
    }

    // Copies from the entry with the longest match: 1 byte for 1-3 pixels, 3 for more.
    uint32_t short_most = longest < kRctCopyMaxPixels ? longest : (uint32_t)kRctCopyMaxPixels;
    for (uint32_t n = 1; n <= short_most; n++) {
      if (1 + cost[i + n] < best) {
        best = 1 + cost[i + n];
        best_length = n;
        best_entry = (unsigned char)longest_entry;
      }
    }
    uint32_t long_most =
        longest < kRctLongCopyMaxPixels ? longest : (uint32_t)kRctLongCopyMaxPixels;
    long_copy.Trim(i + long_most);
    if (long_most >= kRctLongCopyBase) long_copy.Push((uint32_t)(i + kRctLongCopyBase));
    if (!long_copy.Empty() && 3 + cost[long_copy.Min()] < best) {
      best = 3 + cost[long_copy.Min()];
      best_length = long_copy.Min() - (uint32_t)i;
      best_entry = (unsigned char)longest_entry;
    }

    cost[i] = best;
    length[i] = best_length;
    entry[i] = best_entry;
  }

  std::vector<unsigned char> out;
  out.reserve(kRctPixelSize + (pixels > 1 ? (size_t)cost[1] : 0));
  const unsigned char *bgr = image.bgr.data();
  out.insert(out.end(), bgr, bgr + kRctPixelSize);
  for (size_t i = 1; i < pixels; i += length[i]) {
    if (entry[i] == kLiteral) {
      PutLiteral(&out, bgr + i * kRctPixelSize, length[i]);
    } else {
      PutCopy(&out, entry[i], length[i]);
    }
  }
  return out;
}

std::vector<unsigned char> EncodeRctStreamGreedy(const BgrImage &image) {
  const size_t pixels = (size_t)image.width * (size_t)image.height;
  const std::vector<uint32_t> key = PixelKeys(image);
  size_t distance[kRctNeighbourCount];
  UsableDistances(image.width, pixels, distance);

  std::vector<unsigned char> out;
  const unsigned char *bgr = image.bgr.data();
  out.insert(out.end(), bgr, bgr + kRctPixelSize);
  size_t literal_start = 1;
  size_t i = 1;
  while (i < pixels) {
    size_t longest = 0;
    int longest_entry = 0;
    size_t most = pixels - i < kRctLongCopyMaxPixels ? pixels - i : (size_t)kRctLongCopyMaxPixels;
    for (int k = 0; k < kRctNeighbourCount; k++) {
      size_t back = distance[k];
      if (back == 0 || back > i) continue;
      size_t n = 0;
      while (n < most && key[i + n] == key[i + n - back]) n++;
      if (n > longest) {
        longest = n;
        longest_entry = k;
      }
    }
    if (longest == 0) {
      i++;
      continue;
    }
    PutLiteralRun(&out, bgr + literal_start * kRctPixelSize, i - literal_start);
    PutCopy(&out, longest_entry, longest);
    i += longest;
    literal_start = i;
  }
  PutLiteralRun(&out, bgr + literal_start * kRctPixelSize, pixels - literal_start);
  return out;
}

std::vector<unsigned char> MakeRctFile(int32_t width, int32_t height,
                                       const std::vector<unsigned char> &stream) {
  std::vector<unsigned char> file(kRctHeaderSize + stream.size());
  memcpy(file.data(), kRctMagicTC00, kRctMagicSize);
  RctPutLe32(file.data() + kRctWidthOffset, (uint32_t)width);
  RctPutLe32(file.data() + kRctHeightOffset, (uint32_t)height);
  RctPutLe32(file.data() + kRctPackedSizeOffset, (uint32_t)stream.size());
  if (!stream.empty()) memcpy(file.data() + kRctHeaderSize, stream.data(), stream.size());
  return file;
}

bool EncodeRctFile(const BgrImage &image, std::vector<unsigned char> *file, std::string *error) {
  if (!CheckRctPictureSize(image.width, image.height, error)) return false;
  if (image.bgr.size() != (size_t)image.width * (size_t)image.height * kRctPixelSize) {
    *error = "picture data does not match its size";
    return false;
  }
  *file = MakeRctFile(image.width, image.height, EncodeRctStream(image));
  return true;
}

bool DecodeRctFile(const unsigned char *file, size_t size, BgrImage *image, std::string *error) {
  RctHeader header;
  size_t offset = 0, stream_size = 0;
  int result = RctLocateStream(file, size, &header, &offset, &stream_size);
  // RctLocateStream trusts the header's size only once the stream could make that many
  // pixels (RctPixelReach): a 23-byte file claiming gigabytes stops before any allocation.
  if (result == kRctOk) {
    image->width = header.width;
    image->height = header.height;
    image->bgr.assign(header.total, 0);
    result = RctDecode(file + offset, stream_size, header.width, header.height, image->bgr.data(),
                       image->bgr.size(), (size_t)header.width * 3);
  }
  if (result != kRctOk) {
    *error = DescribeRctResult(result);
    image->bgr.clear();
    return false;
  }
  return true;
}
