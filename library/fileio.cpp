// Placeholder until the library file code lands.
#include "library/fileio.h"

TFileIO* fileIO = nullptr;

TFileIO::TFileIO(std::string path) : libraryPath(std::move(path)) {}
TFileIO::~TFileIO() { closeFile(); }
void TFileIO::saveVoiceFile(const std::string&) {}
void TFileIO::loadVoiceFile(const std::string&) {}
void TFileIO::openLibrary() {}
void TFileIO::closeFile()
{
    if (file)
        fclose(file);
    file = nullptr;
}
void TFileIO::seekRecord(int32_t) {}
int32_t TFileIO::countRecords() const { return 0; }
uint32_t TFileIO::readCategories(int32_t) { return 0; }
std::string TFileIO::readName(int32_t) { return std::string(8, ' '); }
void TFileIO::loadRecord(int32_t) {}
bool TFileIO::writeRecord(uint32_t) { return false; }
bool TFileIO::appendRecord(uint32_t) { return false; }
bool TFileIO::overwriteRecord(int32_t, uint32_t) { return false; }
