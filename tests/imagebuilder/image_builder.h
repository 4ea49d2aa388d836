#pragma once
// Test images of the 2048+64 page format, built page by page in memory.
//
// The builder writes its bytes with its own offsets, independent of the
// program's decoders, so a test that reads a built image checks the decoders
// against the layout rather than against themselves.
//
//   ImageBuilder b;                                   // tags at 2048
//   b.AddRoot();                                      // header of object 1
//   b.AddDir(300, 1, "etc");
//   b.AddFile(301, 300, "hosts", "127.0.0.1\n");      // header + data chunk
//   b.AddFile(301, 300, "hosts", "::1\n", 4097);      // a newer copy
//   b.AddErased(4);                                   // erased block
//   b.Page(2)[5] ^= 1;                                // corrupt one byte
//   auto bytes = b.Cut(b.Size() - 40);                // partial last page
//
// Pages are appended in physical order; every method that adds pages returns
// the index of the first page it added. Unused bytes are 0xFF, as in erased
// flash, so with tags at 2050 spare bytes 0 and 1 hold the FF FF marker.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "format.h"

namespace testsupport {

// Header fields as the builder writes them; the defaults make a plain file.
struct HeaderFields {
  uint32_t type = ObjectTypeFile;
  uint32_t parent = RootObjectId;
  std::string name;                   // raw bytes of the 256-byte field; 256 or more leave no terminating 0
  uint32_t mode = 0x81A4;             // regular file, 644
  uint32_t uid = 0;
  uint32_t gid = 0;
  uint32_t atime = 1600000000;
  uint32_t mtime = 1600000000;
  uint32_t ctime = 1600000000;
  uint32_t fileSize = 0;
  uint32_t equivalentId = 0xFFFFFFFF;
  std::string alias;                  // raw bytes of the 160-byte field, the rest 0
  uint32_t rdev = 0;
};

constexpr uint32_t DirMode = 0x41ED;  // directory, 755

class ImageBuilder {
public:
  // tagsOffset: 2048, or 2050 for images with the FF FF erase marker.
  explicit ImageBuilder(uint32_t tagsOffset = TagsOffsetPlain);

  uint32_t TagsOffset() const { return tagsOffset_; }
  uint32_t PageCount() const { return static_cast<uint32_t>(bytes_.size() / PageSize); }
  size_t Size() const { return bytes_.size(); }

  // One page: data at the start of the data area (at most 2048 bytes, rest
  // 0xFF), the tags at the tags offset, every other spare byte 0xFF.
  uint32_t AddPage(const Tags& tags, const std::string& data = std::string());
  // count pages of nothing but 0xFF (sequence number 0xFFFFFFFF).
  uint32_t AddErased(uint32_t count = 1);
  // A header page of object id. The tags' byte count is byteCount, by default
  // the 0xFFFF this program writes; chunk id 0.
  uint32_t AddHeader(uint32_t id, const HeaderFields& fields, uint32_t seq = BaseSequenceNumber,
                     uint32_t byteCount = HeaderByteCount);
  // A data page: chunk chunkId of object id holding bytes (its byte count is
  // bytes.size() unless byteCount is given).
  uint32_t AddChunk(uint32_t id, uint32_t chunkId, const std::string& bytes, uint32_t seq = BaseSequenceNumber);
  uint32_t AddChunk(uint32_t id, uint32_t chunkId, const std::string& bytes, uint32_t seq, uint32_t byteCount);

  // The header of object 1 (the root folder): directory, parent 1, empty name.
  uint32_t AddRoot(uint32_t seq = BaseSequenceNumber);
  // A regular file: its header (size = bytes.size()) and then data chunks 1..n in order.
  uint32_t AddFile(uint32_t id, uint32_t parent, const std::string& name, const std::string& bytes,
                   uint32_t seq = BaseSequenceNumber);
  // Only the listed data chunks of bytes, in the order given (chunks out of
  // order, missing chunks, repeated chunks); chunk n holds bytes
  // (n-1)*2048 ... n*2048-1, empty past the end.
  uint32_t AddFileChunks(uint32_t id, const std::string& bytes, const std::vector<uint32_t>& chunkIds,
                         uint32_t seq = BaseSequenceNumber);
  uint32_t AddDir(uint32_t id, uint32_t parent, const std::string& name, uint32_t seq = BaseSequenceNumber);
  uint32_t AddSymlink(uint32_t id, uint32_t parent, const std::string& name, const std::string& target,
                      uint32_t seq = BaseSequenceNumber);
  uint32_t AddHardLink(uint32_t id, uint32_t parent, const std::string& name, uint32_t targetId,
                       uint32_t seq = BaseSequenceNumber);

  // Direct access for corruptions and for spare bytes the builder leaves alone.
  uint8_t* Page(uint32_t index) { return &bytes_.at(static_cast<size_t>(index) * PageSize); }
  void SetTags(uint32_t page, const Tags& tags);
  void SetDataEcc(uint32_t page, const uint8_t (&ecc)[DataEccLength]);

  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  ByteView View() const { return ByteView(bytes_.data(), bytes_.size()); }
  // The first length bytes (all of them when length is larger).
  std::vector<uint8_t> Cut(size_t length) const;
  // Writes the image, or its first length bytes, to a file; false on failure.
  bool WriteTo(const std::string& path) const { return WriteTo(path, bytes_.size()); }
  bool WriteTo(const std::string& path, size_t length) const;

private:
  uint32_t tagsOffset_;
  std::vector<uint8_t> bytes_;
};

// n bytes of a repeatable pattern that differs between seeds and between the
// chunks of one file.
std::string PatternBytes(size_t n, uint8_t seed = 1);

// The whole content of a host file; "<missing>" when it cannot be read.
std::string ReadHostFile(const std::string& path);
// Writes bytes to a file (replacing it); false on failure.
bool WriteBytes(const std::string& path, const void* data, size_t size);
inline bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  return WriteBytes(path, bytes.data(), bytes.size());
}

// A fresh folder under the temporary folder, removed with all it holds when
// the object goes.
class ScratchFolder {
public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // The folder, ending in "\".
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + name; }

private:
  std::string path_;
};

}  // namespace testsupport
