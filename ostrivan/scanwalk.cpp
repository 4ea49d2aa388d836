#include "scanwalk.h"

#include <cstring>

#include "ecc.h"

uint8_t ProbeEccKind(ByteView page) {
  uint8_t bytes[DataEccOffset + DataEccTriple];
  page.CopyOut(0, sizeof bytes, bytes);
  uint8_t yaffs2[DataEccTriple], nand[DataEccTriple];
  CalcYaffs2Ecc(bytes, yaffs2);
  CalcNandFlashEcc(bytes, nand);
  const uint8_t* stored = bytes + DataEccOffset;
  if (std::memcmp(stored, yaffs2, DataEccTriple) == 0) return EccKindYaffs2;
  if (std::memcmp(stored, nand, DataEccTriple) == 0) return EccKindNandFlash;
  return EccKindNone;
}
