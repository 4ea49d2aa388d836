#include "image_builder.h"

#include <algorithm>
#include <cstring>

namespace testsupport {

namespace {

// The layout as the builder knows it, written out here rather than taken from
// the program's constants.
constexpr size_t kPage = 2112;
constexpr size_t kChunk = 2048;

void Put32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

void PutText(uint8_t* field, size_t fieldSize, const std::string& text) {
  std::memset(field, 0, fieldSize);
  std::memcpy(field, text.data(), std::min(fieldSize, text.size()));
}

std::string ChunkBytes(const std::string& bytes, uint32_t chunkId) {
  size_t start = static_cast<size_t>(chunkId - 1) * kChunk;
  if (chunkId == 0 || start >= bytes.size()) return std::string();
  return bytes.substr(start, kChunk);
}

}  // namespace

ImageBuilder::ImageBuilder(uint32_t tagsOffset) : tagsOffset_(tagsOffset) {}

uint32_t ImageBuilder::AddPage(const Tags& tags, const std::string& data) {
  uint32_t index = PageCount();
  bytes_.resize(bytes_.size() + kPage, 0xFF);
  uint8_t* page = Page(index);
  std::memcpy(page, data.data(), std::min(kChunk, data.size()));
  SetTags(index, tags);
  return index;
}

uint32_t ImageBuilder::AddErased(uint32_t count) {
  uint32_t first = PageCount();
  bytes_.resize(bytes_.size() + kPage * count, 0xFF);
  return first;
}

uint32_t ImageBuilder::AddHeader(uint32_t id, const HeaderFields& f, uint32_t seq, uint32_t byteCount) {
  uint8_t h[512];
  std::memset(h, 0xFF, sizeof h);
  Put32(h + 0, f.type);
  Put32(h + 4, f.parent);
  PutText(h + 10, 256, f.name);
  Put32(h + 268, f.mode);
  Put32(h + 272, f.uid);
  Put32(h + 276, f.gid);
  Put32(h + 280, f.atime);
  Put32(h + 284, f.mtime);
  Put32(h + 288, f.ctime);
  Put32(h + 292, f.fileSize);
  Put32(h + 296, f.equivalentId);
  PutText(h + 300, 160, f.alias);
  Put32(h + 460, f.rdev);
  return AddPage({seq, id, 0, byteCount}, std::string(reinterpret_cast<const char*>(h), sizeof h));
}

uint32_t ImageBuilder::AddChunk(uint32_t id, uint32_t chunkId, const std::string& bytes, uint32_t seq) {
  return AddChunk(id, chunkId, bytes, seq, static_cast<uint32_t>(bytes.size()));
}

uint32_t ImageBuilder::AddChunk(uint32_t id, uint32_t chunkId, const std::string& bytes, uint32_t seq,
                                uint32_t byteCount) {
  return AddPage({seq, id, chunkId, byteCount}, bytes);
}

uint32_t ImageBuilder::AddRoot(uint32_t seq) {
  HeaderFields f;
  f.type = ObjectTypeDirectory;
  f.parent = RootObjectId;
  f.mode = DirMode;
  return AddHeader(RootObjectId, f, seq);
}

uint32_t ImageBuilder::AddFile(uint32_t id, uint32_t parent, const std::string& name, const std::string& bytes,
                               uint32_t seq) {
  HeaderFields f;
  f.parent = parent;
  f.name = name;
  f.fileSize = static_cast<uint32_t>(bytes.size());
  uint32_t first = AddHeader(id, f, seq);
  uint32_t chunks = static_cast<uint32_t>((bytes.size() + kChunk - 1) / kChunk);
  for (uint32_t c = 1; c <= chunks; ++c) AddChunk(id, c, ChunkBytes(bytes, c), seq);
  return first;
}

uint32_t ImageBuilder::AddFileChunks(uint32_t id, const std::string& bytes, const std::vector<uint32_t>& chunkIds,
                                     uint32_t seq) {
  uint32_t first = PageCount();
  for (uint32_t c : chunkIds) AddChunk(id, c, ChunkBytes(bytes, c), seq);
  return first;
}

uint32_t ImageBuilder::AddDir(uint32_t id, uint32_t parent, const std::string& name, uint32_t seq) {
  HeaderFields f;
  f.type = ObjectTypeDirectory;
  f.parent = parent;
  f.name = name;
  f.mode = DirMode;
  return AddHeader(id, f, seq);
}

uint32_t ImageBuilder::AddSymlink(uint32_t id, uint32_t parent, const std::string& name, const std::string& target,
                                  uint32_t seq) {
  HeaderFields f;
  f.type = ObjectTypeSymlink;
  f.parent = parent;
  f.name = name;
  f.mode = 0xA1FF;
  f.alias = target;
  return AddHeader(id, f, seq);
}

uint32_t ImageBuilder::AddHardLink(uint32_t id, uint32_t parent, const std::string& name, uint32_t targetId,
                                   uint32_t seq) {
  HeaderFields f;
  f.type = ObjectTypeHardlink;
  f.parent = parent;
  f.name = name;
  f.equivalentId = targetId;
  return AddHeader(id, f, seq);
}

void ImageBuilder::SetTags(uint32_t page, const Tags& tags) {
  uint8_t* t = Page(page) + tagsOffset_;
  Put32(t + 0, tags.SequenceNumber);
  Put32(t + 4, tags.ObjectId);
  Put32(t + 8, tags.ChunkId);
  Put32(t + 12, tags.ByteCount);
}

void ImageBuilder::SetDataEcc(uint32_t page, const uint8_t (&ecc)[DataEccLength]) {
  std::memcpy(Page(page) + 2088, ecc, sizeof ecc);
}

std::vector<uint8_t> ImageBuilder::Cut(size_t length) const {
  return std::vector<uint8_t>(bytes_.begin(), bytes_.begin() + std::min(length, bytes_.size()));
}

std::string PatternBytes(size_t n, uint8_t seed) {
  std::string out(n, '\0');
  uint32_t x = 0x9E3779B9u * (seed + 1u);
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    out[i] = static_cast<char>(x >> 24);
  }
  return out;
}

}  // namespace testsupport
