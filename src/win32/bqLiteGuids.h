/* The fixed identities of the server. Included by C++, the resource script and the IDL file,
   so it stays plain preprocessor text. */
#ifndef BQ_LITE_GUIDS_H
#define BQ_LITE_GUIDS_H

#define BQ_CLSID_UUID 6E1A4F2B-93C7-4D8E-A5B2-1F0C7D3E8A61
#define BQ_LIBID_UUID 6E1A4F2B-93C7-4D8E-A5B2-1F0C7D3E8A60
#define BQ_IID_UUID   6E1A4F2B-93C7-4D8E-A5B2-1F0C7D3E8A62

#define BQ_CLSID_TEXT L"{6E1A4F2B-93C7-4D8E-A5B2-1F0C7D3E8A61}"
#define BQ_LIBID_TEXT L"{6E1A4F2B-93C7-4D8E-A5B2-1F0C7D3E8A60}"

#endif
