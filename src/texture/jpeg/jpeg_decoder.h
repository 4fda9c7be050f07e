// The texture decoder: a baseline (sequential, Huffman, 8-bit) JPEG decoder
// that writes 0x00RRGGBB rows bottom-up into a Texture. One stage per file:
//   jpeg_scratch    the scratch pool of one decode
//   jpeg_source     the byte source (file or memory)
//   jpeg_markers    the per-image records, segment walk, restart markers
//   jpeg_geometry   image and scan geometry, colour interpretation
//   jpeg_huffman    decode tables, bit reader, one MCU of coefficients
//   jpeg_bands      bands of MCUs through the inverse DCT into sample rows
//   jpeg_idct*      the inverse DCT (portable reference and SIMD kernels)
//   jpeg_upsample   bringing subsampled components to full resolution
//   jpeg_color      colour conversion into pixels
//   jpeg_rows       the driver: band buffers, row groups, row output
// Every operation returns 1 on success and 0 on failure unless it says
// otherwise; nothing in here shows a message.
#pragma once

#include "core/texture.h"
#include "texture/jpeg/jpeg_context.h"
#include "texture/jpeg/jpeg_rows.h"
#include "texture/jpeg/jpeg_scratch.h"
#include "texture/jpeg/jpeg_source.h"

struct JpegDecodeOptions;

// Decode entry (jpeg_texture.cpp). PrepareJpegContext clears the progressive
// flag and the scratch pool and picks the inverse DCT; DecodeJpegTexture
// decodes the current byte source into `target`, setting its size and
// allocating its pixels (left for the caller to free after a failure).
void PrepareJpegContext(JpegContext& jc, const JpegDecodeOptions* options);
int DecodeJpegTexture(JpegContext& jc, Texture* target);
// Decodes the current byte source into `sink`, top row first; the texture
// decode is this with TextureRowSink(target).
int DecodeJpegRows(JpegContext& jc, const JpegRowSink& sink);
JpegRowSink TextureRowSink(Texture* target);
