// tar listing: POSIX ustar, GNU (long names and links, old sparse files), pax extended headers
// and V7, read front to back from a decoded stream: a plain file, or the output of a gzip or
// bzip2 container. A compressed file that holds no tar lists as one row, the file it unpacks to.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "archive/bqDecodedStream.h"
#include "archive/quArchiveSimple.h"

namespace bq {

// One 512-byte block is a tar header: the ustar magic with a checksum that adds up, or (V7)
// such a checksum alone.
bool IsTarHeader(const uint8_t* block);

enum class TTarStart { tsNotTar, tsEmpty, tsTar };
// Lists the tar read front to back from stream into archive.Files (Error says why it ended
// early). tsNotTar when the first block is no tar header (nothing is listed), tsEmpty when it
// is an end-of-archive block.
TTarStart ListTarFrom(TDecodedStream& stream, TSimpleArchive& archive);

// The compressed containers a tar may come in, each with its signature test and its stream.
struct TTarContainer {
  const char* Name;
  bool (*HasSignature)(const uint8_t* data, size_t size);
  std::unique_ptr<TDecodedStream> (*Open)(TArchiveSource& source);
};
// nullptr when the head (the first bytes of the file) is none of them.
const TTarContainer* FindTarContainer(const uint8_t* head, size_t size);

class TSimpleTar : public TSimpleArchive {
public:
  bool LoadFromStream(TArchiveSource& source) override;
  // A tar header at the start, or the signature of a container.
  static bool Recognise(TArchiveSource& source);

  // What the last load found: the container ("" for a plain tar) and whether a tar was in it.
  std::string Container;
  bool IsTar = false;

  // Entries beyond this stop the listing: a few MiB of gzip can hold millions of headers.
  static constexpr size_t kMaxEntries = 1000000;

private:
  void ListLoneFile(TArchiveSource& source, const TTarContainer& container);
};

}  // namespace bq
