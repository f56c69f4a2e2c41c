// lattix_smoke: drives libLattix.so's file exports the way an outside
// program does (it links nothing but the library) and checks what they wrote.
//   lattix_smoke version
//   lattix_smoke export SCORE.q5s TEXT.q5t
//   lattix_smoke import TEXT.q5t SCORE.q5s
// The exports report no failure, so each command checks the file it
// expects: exit status 0 when it is there and of the right form.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "exchange/lattix.h"

namespace {

std::string ReadStart(const char* path, size_t n) {
  std::ifstream f(path, std::ios::binary);
  std::string bytes(n, '\0');
  f.read(bytes.data(), static_cast<std::streamsize>(n));
  bytes.resize(static_cast<size_t>(f.gcount()));
  return bytes;
}

int Fail(const std::string& reason) {
  std::fprintf(stderr, "lattix_smoke: %s\n", reason.c_str());
  return 1;
}

std::string VersionText(unsigned v) {
  return std::to_string(v >> 24) + "." + std::to_string((v >> 16) & 0xFF) + "." + std::to_string((v >> 8) & 0xFF) +
         "." + std::to_string(v & 0xFF);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string cmd = argc > 1 ? argv[1] : "";
  const unsigned version = static_cast<unsigned>(getScoreVersion());
  if (cmd == "version" && argc == 2) {
    std::printf("%s\n", VersionText(version).c_str());
    return version == 0x03080000u ? 0 : Fail("unexpected version " + VersionText(version));
  }
  if (cmd == "export" && argc == 4) {
    if (scoreExportXMLFile(argv[2], argv[3]) != 1) return Fail("scoreExportXMLFile did not return 1");
    // The document starts with the settings section.
    const std::string head = "\r\n[Score]\r\nFileType=Score\r\nVersion=" + VersionText(version) + "\r\n";
    if (ReadStart(argv[3], head.size()) != head) return Fail(std::string(argv[3]) + " is not a score text");
    return 0;
  }
  if (cmd == "import" && argc == 4) {
    if (scoreImportXMLFile(argv[3], argv[2]) != 1) return Fail("scoreImportXMLFile did not return 1");
    // A score file starts with "SCOR" and the version, little-endian.
    std::string head = "SCOR";
    for (int i = 0; i < 4; ++i) head += static_cast<char>((version >> (8 * i)) & 0xFF);
    if (ReadStart(argv[3], head.size()) != head) return Fail(std::string(argv[3]) + " is not a score");
    return 0;
  }
  std::fputs("usage: lattix_smoke version | export SCORE.q5s TEXT.q5t | import TEXT.q5t SCORE.q5s\n", stderr);
  return 2;
}
