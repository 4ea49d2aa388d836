#pragma once
// Hamming codes written into the spare area: the per-256-byte data triples of
// the two ECC kinds and the tags ECC record. Pure functions over bytes.

#include <array>
#include <cstddef>
#include <cstdint>

#include "format.h"

// The sizes are the page layout's (format.h): a data triple of DataEccTriple
// bytes per DataEccBlock data bytes, and a tags record over the TagsLength
// tag bytes. Under their ECC names:
constexpr size_t EccChunkSize = ChunkSize;       // data bytes the chunk ECC covers
constexpr size_t ChunkEccSize = DataEccLength;   // 24 bytes of chunk ECC, eight triples
constexpr size_t TagsEccSize = TagsEccLength;    // bytes of the tags ECC record

// Tags ECC record, field by field.
constexpr size_t TagsEccColumnParity = 0;        // u8: CP0..CP5 in bits 0..5, bits 6 and 7 zero
constexpr size_t TagsEccPadding = 1;             // 3 bytes, written 0, not part of the code
constexpr size_t TagsEccPaddingSize = 3;
constexpr size_t TagsEccLineParity = 4;          // u32 LE: xor of the indices of odd-parity bytes
constexpr size_t TagsEccLineParityPrime = 8;     // u32 LE: xor of the complemented indices
static_assert(TagsEccLineParityPrime + 4 == TagsEccSize, "record ends with the prime line parity");

// The ECC kinds of a page's data (stored as a byte).
constexpr uint8_t EccKindNone = 0;      // "无ECC": nothing written
constexpr uint8_t EccKindYaffs2 = 1;    // "yaffs2自带ECC"
constexpr uint8_t EccKindNandFlash = 2; // "NAND FLASH ECC"

// Column-parity tables. Yaffs2: bit 0 = P, bits 2..7 = CP0..CP5. NandFlash: bits 0..5 = CP0..CP5, bit 6 = P.
extern const std::array<uint8_t, 256> Yaffs2EccTable;
extern const std::array<uint8_t, 256> NandFlashEccTable;

// Writes to ecc[0..2] the kind 1 triple of data[0..255].
void CalcYaffs2Ecc(const uint8_t* data, uint8_t* ecc);
// Writes to ecc[0..2] the kind 2 triple of data[0..255] (kind 1 with bytes 0 and 1 exchanged).
void CalcNandFlashEcc(const uint8_t* data, uint8_t* ecc);
// Interleaves line parity r3 and line parity prime r2 (r3's bit first) into out[0] (high bits) and out[1] (low bits).
void PackNandLineParity(uint8_t r2, uint8_t r3, uint8_t* out);
// Writes to record[0..11] the tags ECC record of data[0..n-1] (padding zero).
void CalcEccOther(const uint8_t* data, size_t n, uint8_t* record);
// Writes to record[0..11] the tags ECC record of the 16 tag bytes.
void CalcTagsEcc(const uint8_t* tags, uint8_t* record);
// Writes to ecc[0..23] the eight triples of data[0..2047] for kinds 1 and 2; any other kind writes nothing.
void CalcChunkEcc(const uint8_t* data, uint8_t* ecc, uint8_t kind);
