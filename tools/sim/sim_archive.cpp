#include "sim_archive.h"

#include "sim_frames.h"
#include "sim_random.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

void PutFloat(uint8_t* p, float fValue) {
    uint32_t nBits;
    std::memcpy(&nBits, &fValue, sizeof nBits);
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(nBits >> (8 * i));
}

uint8_t Bcd(int nValue) {
    return static_cast<uint8_t>((nValue / 10) << 4 | (nValue % 10));
}

// A loss tangent spread evenly over its decades, as real oils vary.
float LossTangent(SimRandom& random, double dLow, double dHigh) {
    return static_cast<float>(std::exp(random.Real(std::log(dLow), std::log(dHigh))));
}

struct Clock {
    int nYear = 21, nMonth = 3, nDay = 1, nHour = 8, nMinute = 0;

    // Measurements follow each other within a working day, days within months.
    void Advance(SimRandom& random) {
        nMinute += random.Range(3, 40);
        if (nMinute >= 60) {
            nHour += nMinute / 60;
            nMinute %= 60;
        }
        if (nHour >= 18) {
            nHour = 8;
            nDay += random.Range(1, 3);
        }
        if (nDay > 28) {
            nDay = 1;
            if (++nMonth > 12) {
                nMonth = 1;
                nYear = nYear >= 99 ? 0 : nYear + 1;
            }
        }
    }
};

void FillRecord(uint8_t* r, SimRandom& random, Clock& clock, int& nSample) {
    for (int i = 0; i < SIM_RECORD_SIZE; ++i)
        r[i] = random.Byte(); // never-read bytes keep these
    const int nRoll = random.Range(0, 99);
    if (nRoll < 6) {
        std::memset(r, 0, SIM_RECORD_SIZE); // a slot never written
        return;
    }
    uint8_t nKind = 0x01;
    if (nRoll < 10) {
        static const uint8_t OTHER_KINDS[] = {0x00, 0xFF, 0x80, 0xC1, 0x02};
        nKind = OTHER_KINDS[random.Range(0, 4)];
    } else if (nRoll < 28) {
        nKind = 0x81;
    }
    clock.Advance(random);
    if (random.Range(0, 3) == 0)
        ++nSample;
    r[2] = static_cast<uint8_t>(nSample & 0xFF);
    r[3] = static_cast<uint8_t>(nSample >> 8);
    r[4] = nKind;
    r[5] = static_cast<uint8_t>(random.Range(1, 6));
    const int nTempRoll = random.Range(0, 19);
    int nTemperature = random.Range(15, 95);
    if (nTempRoll == 0)
        nTemperature = -50; // no sensor connected
    else if (nTempRoll == 1)
        nTemperature = random.Range(-30, -1);
    r[6] = static_cast<uint8_t>(static_cast<int8_t>(nTemperature));
    r[7] = Bcd(random.Range(0, 59)); // seconds
    r[8] = Bcd(clock.nMinute);
    r[9] = Bcd(clock.nHour);
    r[10] = Bcd(random.Range(1, 7)); // day of the week
    r[11] = Bcd(clock.nDay);
    r[12] = Bcd(clock.nMonth);
    r[13] = Bcd(clock.nYear);
    static const float VOLTAGES[] = {2000.0f, 2000.0f, 2000.0f, 1000.0f, 500.0f};
    PutFloat(r + 16, VOLTAGES[random.Range(0, 4)]);
    PutFloat(r + 20, 50.0f);
    if (nKind == 0x81) {
        PutFloat(r + 24, static_cast<float>(random.Real(15.0, 60.0))); // Co in pF
        PutFloat(r + 28, LossTangent(random, 0.0001, 0.005));
    } else {
        PutFloat(r + 24, static_cast<float>(random.Real(2.05, 2.25))); // Ex
        PutFloat(r + 28, LossTangent(random, 0.001, 0.05));
    }
}

} // namespace

void SealCellBlock(SimArchive& archive) {
    uint8_t* p = archive.m_cellBlock.data();
    p[0] = SIM_LEAD_BYTE;
    p[1] = SIM_CELL_BLOCK_SIZE;
    p[2] = 12;
    p[3] = 0;
    p[52] = 0;
    p[53] = 0;
    SimAppendChecksum(p, SIM_CELL_CHECKSUM_OFFSET);
}

SimArchive GenerateArchive(uint32_t nSeed) {
    SimArchive archive;
    SimRandom random(nSeed);
    for (int i = 0; i < SIM_CELL_COUNT; ++i) {
        uint8_t* p = archive.m_cellBlock.data();
        PutFloat(p + SIM_CELL_CO_OFFSET + 4 * i, static_cast<float>(random.Real(15e-12, 60e-12)));
        PutFloat(p + SIM_CELL_TGDO_OFFSET + 4 * i, LossTangent(random, 0.0001, 0.005));
    }
    SealCellBlock(archive);
    Clock clock;
    int nSample = random.Range(1, 500);
    for (auto& record : archive.m_records)
        FillRecord(record.data(), random, clock, nSample);
    return archive;
}

bool LoadArchive(const std::string& szPath, SimArchive& archive, std::string& szError) {
    std::ifstream in(szPath, std::ios::binary);
    if (!in) {
        szError = "cannot open archive file " + szPath;
        return false;
    }
    std::vector<char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (data.size() != static_cast<size_t>(SIM_ARCHIVE_FILE_SIZE)) {
        szError = "archive file " + szPath + " has " + std::to_string(data.size()) +
                  " bytes; it must have " + std::to_string(SIM_ARCHIVE_FILE_SIZE) +
                  " (56-byte cell block and 2000 records of 32 bytes)";
        return false;
    }
    std::memcpy(archive.m_cellBlock.data(), data.data(), SIM_CELL_BLOCK_SIZE);
    for (int i = 0; i < SIM_RECORD_COUNT; ++i)
        std::memcpy(archive.m_records[i].data(),
                    data.data() + SIM_CELL_BLOCK_SIZE + i * SIM_RECORD_SIZE, SIM_RECORD_SIZE);
    SealCellBlock(archive);
    return true;
}

bool SaveArchive(const std::string& szPath, const SimArchive& archive, std::string& szError) {
    std::ofstream out(szPath, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(archive.m_cellBlock.data()), SIM_CELL_BLOCK_SIZE);
    for (const auto& record : archive.m_records)
        out.write(reinterpret_cast<const char*>(record.data()), SIM_RECORD_SIZE);
    out.close();
    if (!out) {
        szError = "cannot write archive file " + szPath;
        return false;
    }
    return true;
}
