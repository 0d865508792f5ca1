#include "bqLzma.h"

#include <stdlib.h>

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
