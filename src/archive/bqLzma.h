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

#ifdef __cplusplus
}
#endif
#endif
