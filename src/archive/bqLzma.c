#include "bqLzma.h"

#include <stdlib.h>
#include <string.h>

#include "LzmaDec.h"

struct TBqLzma {
  CLzmaDec State;
};

static void* Alloc(void* p, size_t size) { (void)p; return malloc(size); }
static void Free(void* p, void* address) { (void)p; free(address); }
static ISzAlloc kAlloc = {Alloc, Free};

int BqLzmaCreate(const unsigned char props[5], TBqLzma** decoder) {
  TBqLzma* d = (TBqLzma*)malloc(sizeof(TBqLzma));
  SRes res;
  *decoder = NULL;
  if (!d) return 2;
  LzmaDec_Construct(&d->State);
  res = LzmaDec_AllocateProbs(&d->State, props, LZMA_PROPS_SIZE, &kAlloc);
  if (res != SZ_OK) {
    free(d);
    return res == SZ_ERROR_MEM ? 2 : 1;
  }
  LzmaDec_Init(&d->State);
  *decoder = d;
  return 0;
}

int BqLzmaDecode(TBqLzma* decoder, unsigned char* out, size_t outLimit, size_t* outPos,
                 const unsigned char* in, size_t inSize, size_t* inPos, int* finished) {
  CLzmaDec* p = &decoder->State;
  static const unsigned char kNone[1] = {0};
  SizeT srcLen = inSize - *inPos;
  ELzmaStatus status;
  SRes res;
  /* The output buffer is the dictionary: it grows, it is never wrapped. */
  p->dic = out;
  p->dicBufSize = outLimit;
  res = LzmaDec_DecodeToDic(p, outLimit, srcLen ? in + *inPos : kNone, &srcLen, LZMA_FINISH_ANY, &status);
  *inPos += srcLen;
  *outPos = p->dicPos;
  *finished = status == LZMA_STATUS_FINISHED_WITH_MARK;
  return res == SZ_OK ? 0 : 1;
}

void BqLzmaFree(TBqLzma* decoder) {
  if (!decoder) return;
  LzmaDec_FreeProbs(&decoder->State, &kAlloc);
  free(decoder);
}

int BqLzmaCreateChunked(TBqLzma** decoder) {
  /* lc = 4, lp = 0: the largest tables LZMA2 allows. */
  static const unsigned char kLargest[5] = {4, 0, 0x10, 0, 0};
  const int res = BqLzmaCreate(kLargest, decoder);
  return res;
}

int BqLzmaSetProperties(TBqLzma* decoder, unsigned char propertiesByte, unsigned dictionarySize) {
  CLzmaDec* p = &decoder->State;
  unsigned d = propertiesByte, lc, lp, pb;
  if (d >= 9 * 5 * 5) return 1;
  lc = d % 9;
  d /= 9;
  lp = d % 5;
  pb = d / 5;
  if (lc + lp > 4) return 1;
  p->prop.lc = lc;
  p->prop.lp = lp;
  p->prop.pb = pb;
  p->prop.dicSize = dictionarySize < 4096 ? 4096 : dictionarySize; /* the decoder's least */
  return 0;
}

void BqLzmaStartChunk(TBqLzma* decoder, int resetDictionary, int resetState) {
  LzmaDec_InitDicAndState(&decoder->State, resetDictionary ? True : False, resetState ? True : False);
}

int BqLzmaDecodeWindow(TBqLzma* decoder, unsigned char* window, size_t windowSize, size_t* windowPos,
                       size_t windowLimit, const unsigned char* in, size_t inSize, size_t* inUsed, int atChunkEnd) {
  CLzmaDec* p = &decoder->State;
  static const unsigned char kNone[1] = {0};
  SizeT srcLen = inSize;
  ELzmaStatus status;
  SRes res;
  p->dic = window;
  p->dicBufSize = windowSize;
  p->dicPos = *windowPos;
  res = LzmaDec_DecodeToDic(p, windowLimit, inSize ? in : kNone, &srcLen, atChunkEnd ? LZMA_FINISH_END : LZMA_FINISH_ANY,
                            &status);
  *inUsed = srcLen;
  *windowPos = p->dicPos;
  /* An end marker inside an LZMA2 chunk is corrupt data. */
  return res == SZ_OK && status != LZMA_STATUS_FINISHED_WITH_MARK ? 0 : 1;
}

void BqLzmaAppendUncompressed(TBqLzma* decoder, unsigned char* window, size_t windowSize, size_t* windowPos,
                              const unsigned char* bytes, size_t size) {
  CLzmaDec* p = &decoder->State;
  (void)windowSize;
  memcpy(window + *windowPos, bytes, size);
  *windowPos += size;
  /* Past the dictionary size, distances are checked against it instead of the bytes so far. */
  if (p->checkDicSize == 0 && (p->processedPos >= p->prop.dicSize || p->prop.dicSize - p->processedPos <= size))
    p->checkDicSize = p->prop.dicSize;
  p->processedPos += (UInt32)size;
}
