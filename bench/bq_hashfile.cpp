// Hashes one file with TMultiDigest, reading it in 1 MiB blocks.
//   bq_hashfile [--three | --all | --crc32 --md4 ... ] [--no-thread] [--portable] FILE
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "hashes/quDigestBase.h"
#include "hashes/quMultiDigest.h"

int main(int argc, char** argv) {
  using namespace bq;
  std::vector<TDigestKind> kinds;
  bool thread = true;
  const char* path = nullptr;
  const struct {
    const char* Option;
    TDigestKind Kind;
  } options[] = {{"--crc32", dkCRC32},         {"--md4", dkMD4},
                 {"--md5", dkMD5},             {"--sha1", dkSHA1},
                 {"--ripemd128", dkRipeMD128}, {"--ripemd160", dkRipeMD160},
                 {"--ripemd256", dkRipeMD256}, {"--ripemd320", dkRipeMD320}};
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    bool known = false;
    for (auto& o : options)
      if (a == o.Option) kinds.push_back(o.Kind), known = true;
    if (known) continue;
    if (a == "--three") {
      kinds.insert(kinds.end(), {dkCRC32, dkMD5, dkSHA1});
    } else if (a == "--all") {
      for (int k = 0; k < DigestKindCount; ++k) kinds.push_back(TDigestKind(k));
    } else if (a == "--no-thread") {
      thread = false;
    } else if (a == "--portable") {
      SetDigestAcceleration(false);
    } else if (!a.empty() && a[0] != '-' && !path) {
      path = argv[i];
    } else {
      std::fprintf(stderr, "usage: %s [--three|--all|--crc32|--md4|...] [--no-thread] [--portable] FILE\n", argv[0]);
      return 2;
    }
  }
  if (!path) {
    std::fprintf(stderr, "%s: no file given\n", argv[0]);
    return 2;
  }
  if (kinds.empty()) kinds = {dkCRC32, dkMD5, dkSHA1};

  const int fd = open(path, O_RDONLY);
  if (fd < 0) {
    std::fprintf(stderr, "%s: %s\n", path, std::strerror(errno));
    return 1;
  }
  TMultiDigest md(kinds, thread);
  std::vector<unsigned char> buf(1 << 20);
  for (;;) {
    ssize_t got = read(fd, buf.data(), buf.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      std::fprintf(stderr, "%s: %s\n", path, std::strerror(errno));
      close(fd);
      return 1;
    }
    if (got == 0) break;
    md.Update(buf.data(), size_t(got));
  }
  close(fd);
  md.Final();
  for (int k = 0; k < DigestKindCount; ++k)
    if (md.Has(TDigestKind(k))) std::printf("%-11s %s\n", DigestName(TDigestKind(k)), md.Hex(TDigestKind(k)).c_str());
  return 0;
}
