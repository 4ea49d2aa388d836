// rarpack: writes a RAR archive in the 2.9 block format (the format of RAR
// 1.5 to 4.x) holding one member, stored without compression. Built for the
// build machine; the build packs the program a download manager carries.
//
// Usage: rarpack OUT.rar MEMBER_NAME INPUT_FILE
//
// The archive is a chain of blocks. Every block starts with the same 7 bytes:
//   HEAD_CRC   u16  low 16 bits of the CRC32 of the header from HEAD_TYPE on
//   HEAD_TYPE  u8
//   HEAD_FLAGS u16
//   HEAD_SIZE  u16  size of the whole header, these 7 bytes included
// A block whose flags hold LONG_BLOCK has a u32 ADD_SIZE of data after its
// header; in a file header that field is PACK_SIZE. All numbers little-endian.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace rar {

// Block layout, one line per number.
constexpr uint8_t kMarker[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};  // "Rar!\x1A\x07\0": a fixed block
constexpr uint8_t kTypeMain = 0x73;        // archive header
constexpr uint8_t kTypeFile = 0x74;        // file header
constexpr uint8_t kTypeEnd = 0x7B;         // end of archive
constexpr uint16_t kFlagLongBlock = 0x8000;  // ADD_SIZE (PACK_SIZE) follows the common fields
constexpr uint16_t kFlagEndKeep = 0x4000;    // required in the end block by the readers of 2.9
constexpr size_t kCommonSize = 7;            // HEAD_CRC + HEAD_TYPE + HEAD_FLAGS + HEAD_SIZE
constexpr size_t kMainSize = kCommonSize + 2 + 4;  // + RESERVED1 u16 + RESERVED2 u32
// File header after the common fields: PACK_SIZE u32, UNP_SIZE u32, HOST_OS u8,
// FILE_CRC u32, FTIME u32 (DOS date and time), UNP_VER u8, METHOD u8,
// NAME_SIZE u16, ATTR u32, then NAME_SIZE bytes of name.
constexpr size_t kFileFixedSize = kCommonSize + 4 + 4 + 1 + 4 + 4 + 1 + 1 + 2 + 4;
constexpr size_t kEndSize = kCommonSize;
constexpr uint8_t kHostWin32 = 2;        // HOST_OS: attributes are Windows ones
constexpr uint8_t kUnpackVersion = 29;   // UNP_VER: version needed to extract, 2.9
constexpr uint8_t kMethodStore = 0x30;   // METHOD: stored, no compression
constexpr uint32_t kAttrArchive = 0x20;  // FILE_ATTRIBUTE_ARCHIVE
constexpr uint32_t kMaxMemberSize = 0xFFFFFFFFu;  // larger needs the 64-bit size fields we do not write
static_assert(sizeof(kMarker) == 7, "marker block");
static_assert(kMainSize == 13, "archive header");
static_assert(kFileFixedSize == 32, "file header without its name");

uint32_t Crc32(const uint8_t* p, size_t n, uint32_t crc = 0) {
  static uint32_t table[256];
  static bool ready = false;
  if (!ready) {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[i] = c;
    }
    ready = true;
  }
  crc = ~crc;
  for (size_t i = 0; i < n; ++i) crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void Put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

// Appends a block header whose body (everything after HEAD_SIZE) is given;
// fills in HEAD_SIZE and HEAD_CRC.
void PutHeader(std::vector<uint8_t>& out, uint8_t type, uint16_t flags, const std::vector<uint8_t>& body) {
  std::vector<uint8_t> h;
  h.push_back(type);
  Put16(h, flags);
  Put16(h, uint16_t(kCommonSize + body.size()));
  h.insert(h.end(), body.begin(), body.end());
  Put16(out, uint16_t(Crc32(h.data(), h.size())));
  out.insert(out.end(), h.begin(), h.end());
}

// DOS date and time of a broken-down local time, clamped to what the
// format can hold (1980 to 2107).
uint32_t DosTime(const std::tm& t) {
  int year = t.tm_year + 1900;
  if (year < 1980) return (1u << 21) | (1u << 16);  // 1980-01-01 00:00:00
  if (year > 2107) year = 2107;
  return uint32_t(year - 1980) << 25 | uint32_t(t.tm_mon + 1) << 21 | uint32_t(t.tm_mday) << 16 |
         uint32_t(t.tm_hour) << 11 | uint32_t(t.tm_min) << 5 | uint32_t(t.tm_sec / 2);
}

// A member name the format stores as is, without its Unicode extension:
// printable ASCII.
bool ValidName(const std::string& name) {
  if (name.empty() || name.size() > 0xFFFF - kFileFixedSize) return false;
  for (unsigned char c : name)
    if (c < 0x20 || c >= 0x7F) return false;
  return true;
}

// The whole archive: marker, archive header, one stored member, end block.
std::vector<uint8_t> PackStored(const std::string& name, const std::vector<uint8_t>& data, uint32_t dosTime) {
  std::vector<uint8_t> out(kMarker, kMarker + sizeof(kMarker));

  std::vector<uint8_t> main;
  Put16(main, 0);  // RESERVED1
  Put32(main, 0);  // RESERVED2
  PutHeader(out, kTypeMain, 0, main);

  const uint32_t size = uint32_t(data.size());
  std::vector<uint8_t> file;
  Put32(file, size);  // PACK_SIZE: stored, so the same as UNP_SIZE
  Put32(file, size);  // UNP_SIZE
  file.push_back(kHostWin32);
  Put32(file, Crc32(data.data(), data.size()));
  Put32(file, dosTime);
  file.push_back(kUnpackVersion);
  file.push_back(kMethodStore);
  Put16(file, uint16_t(name.size()));
  Put32(file, kAttrArchive);
  file.insert(file.end(), name.begin(), name.end());
  PutHeader(out, kTypeFile, kFlagLongBlock, file);
  out.insert(out.end(), data.begin(), data.end());

  PutHeader(out, kTypeEnd, kFlagEndKeep, {});
  return out;
}

}  // namespace rar

namespace {

bool ReadFile(const char* path, std::vector<uint8_t>& data) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) {
    if (data.size() + n > rar::kMaxMemberSize) {
      std::fclose(f);
      errno = EFBIG;
      return false;
    }
    data.insert(data.end(), buf, buf + n);
  }
  const bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

// Written beside the target and renamed over it, so a failed run never
// leaves a cut archive that the build would take as up to date.
bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  const std::string tmp = path + ".tmp";
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed || std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::remove(tmp.c_str());
    return false;
  }
  return true;
}

// The member keeps its file's modification time, as an archiver records it.
uint32_t FileDosTime(const char* path) {
  struct stat st {};
  std::time_t when = stat(path, &st) == 0 ? st.st_mtime : std::time(nullptr);
  std::tm t{};
  localtime_r(&when, &t);
  return rar::DosTime(t);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: rarpack OUT.rar MEMBER_NAME INPUT_FILE\n");
    return 2;
  }
  const std::string name = argv[2];
  if (!rar::ValidName(name)) {
    std::fprintf(stderr, "rarpack: member name must be 1 to %zu printable ASCII characters\n",
                 size_t(0xFFFF - rar::kFileFixedSize));
    return 2;
  }
  std::vector<uint8_t> data;
  if (!ReadFile(argv[3], data)) {
    std::fprintf(stderr, "rarpack: cannot read %s: %s\n", argv[3], std::strerror(errno));
    return 1;
  }
  if (!WriteFile(argv[1], rar::PackStored(name, data, FileDosTime(argv[3])))) {
    std::fprintf(stderr, "rarpack: cannot write %s: %s\n", argv[1], std::strerror(errno));
    return 1;
  }
  return 0;
}
