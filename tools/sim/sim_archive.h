// The instrument's memory: the empty-cell block and the ring of 2000 records,
// generated from a seed or loaded from an archive file.
#pragma once

#include <array>
#include <cstdint>
#include <string>

constexpr int SIM_RECORD_COUNT = 2000;
constexpr int SIM_RECORD_SIZE = 32;
constexpr int SIM_CELL_COUNT = 6;
constexpr int SIM_CELL_BLOCK_SIZE = 56;
constexpr int SIM_ARCHIVE_FILE_SIZE = SIM_CELL_BLOCK_SIZE + SIM_RECORD_COUNT * SIM_RECORD_SIZE;

// Offsets inside the cell block, which is kept exactly as the empty-cell reply
// goes out: 1, 56, 12, 0, six Co (farads), six tgDo, two zero bytes, checksum.
constexpr int SIM_CELL_CO_OFFSET = 4;
constexpr int SIM_CELL_TGDO_OFFSET = 28;
constexpr int SIM_CELL_CHECKSUM_OFFSET = 54;

struct SimArchive {
    std::array<uint8_t, SIM_CELL_BLOCK_SIZE> m_cellBlock{};
    std::array<std::array<uint8_t, SIM_RECORD_SIZE>, SIM_RECORD_COUNT> m_records{};
};

// Same seed, same archive, on every machine (own generator, no library distributions).
SimArchive GenerateArchive(uint32_t nSeed);

// Reads a 64056-byte archive file. The Co and tgDo values are taken from the
// cell block; its frame bytes (header, tail, checksum) are rebuilt.
bool LoadArchive(const std::string& szPath, SimArchive& archive, std::string& szError);
bool SaveArchive(const std::string& szPath, const SimArchive& archive, std::string& szError);

// Writes the fixed frame bytes around the cell values and the block's checksum.
void SealCellBlock(SimArchive& archive);
