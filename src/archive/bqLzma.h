/* A thin C front of the reference LZMA decoder (LzmaDec.c), so that its headers stay out of
   the C++ core. The caller owns the output buffer; the decoder allocates only its
   probability tables, never a dictionary. */
#ifndef BQ_LZMA_H
#define BQ_LZMA_H
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TBqLzma TBqLzma;

/* props: the property byte and the 32-bit dictionary size. 0 on success, 1 for properties
   the decoder refuses, 2 when memory runs out. */
int BqLzmaCreate(const unsigned char props[5], TBqLzma** decoder);
/* Decodes from in[*inPos, inSize) into out[*outPos, outLimit); out holds everything decoded so
   far (it may move between calls, its first *outPos bytes kept). 0 on success, 1 for corrupt
   data. *finished is set at the end marker. */
int BqLzmaDecode(TBqLzma* decoder, unsigned char* out, size_t outLimit, size_t* outPos,
                 const unsigned char* in, size_t inSize, size_t* inPos, int* finished);
void BqLzmaFree(TBqLzma* decoder);

/* The pieces LZMA2 drives chunk by chunk, over a window (dictionary buffer) the caller owns and
   wraps. A decoder made by BqLzmaCreateChunked has probability tables for lc + lp <= 4. */
int BqLzmaCreateChunked(TBqLzma** decoder);
/* lc, lp, pb from an LZMA properties byte (refused, 1, when lc + lp > 4 or the byte is out of
   range) and the distance limit, which must not exceed the window's size. */
int BqLzmaSetProperties(TBqLzma* decoder, unsigned char propertiesByte, unsigned dictionarySize);
/* Starts a chunk: a new range coder always, the state and the dictionary when asked. */
void BqLzmaStartChunk(TBqLzma* decoder, int resetDictionary, int resetState);
/* Decodes into window[*windowPos, windowLimit) (window holds windowSize bytes; the caller wraps
   *windowPos to 0 once it reaches windowSize) from in[0, inSize); *inUsed says how many input
   bytes were taken. atChunkEnd: windowLimit is where the chunk's output ends. 0 on success,
   1 for corrupt data. */
int BqLzmaDecodeWindow(TBqLzma* decoder, unsigned char* window, size_t windowSize, size_t* windowPos,
                       size_t windowLimit, const unsigned char* in, size_t inSize, size_t* inUsed, int atChunkEnd);
/* An uncompressed chunk's bytes into window[*windowPos, *windowPos + size) (the caller makes
   room), counted as decoded output so that later matches may refer to them. */
void BqLzmaAppendUncompressed(TBqLzma* decoder, unsigned char* window, size_t windowSize, size_t* windowPos,
                              const unsigned char* bytes, size_t size);

#ifdef __cplusplus
}
#endif
#endif
