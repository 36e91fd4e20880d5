// Compression decoders: one class per method behind TDecoder. A reader creates the decoder its
// file names, calls BeginDecoding once, Decode once per block of packed data (a line, a strip,
// a plane row or the whole image), then FinishDecoding.
//
// Buffer contract of Decode(Source, Dest, PackedSize, UnpackedSize), for every decoder:
// - Source points at PackedSize readable bytes. No decoder reads outside them; data that ends
//   early is not an error: decoding stops there and the rest of Dest keeps what it held.
// - Dest points at room for UnpackedSize units; the unit is a pixel of the colour depth for
//   TTargaRLEDecoder (1, 2, 3 or 4 bytes), a sample for TSGIRLEDecoder (1 or 2 bytes) and a
//   byte for all others. No decoder writes outside them.
// - Negative sizes count as 0.
// - Source and Dest are references: TTargaRLEDecoder advances Source past the packets it
//   consumed, TLZ77Decoder and TPCXRLEDecoder advance both by what they consumed and produced;
//   the others leave them unchanged.
#pragma once

#include "codecs/CCITTDecoders.h"
#include "codecs/Decoder.h"
#include "codecs/LZ77Decoder.h"
#include "codecs/LZWDecoders.h"
#include "codecs/RLEDecoders.h"
#include "codecs/TIFFJPEGDecoder.h"
#include "codecs/ThunderDecoder.h"
