// The record players behind PlayMetafile, one per format. Each walks the records from the first
// one after the header, checks every record's size against the data left, and hands what the
// record holds to the canvas; a record too short for what it claims is skipped.
#pragma once

#include "Canvas.h"
#include "Metafile.h"

#include <cstddef>
#include <cstdint>

void PlayWmfRecords(const std::uint8_t* data, std::size_t size, const TMetafileHeader& header, TMetafileCanvas& canvas,
                    TPlayStatistics& statistics);
void PlayEmfRecords(const std::uint8_t* data, std::size_t size, const TMetafileHeader& header, TMetafileCanvas& canvas,
                    TPlayStatistics& statistics);

// Text of 8-bit records in the Windows code page of a font's character set.
std::u32string DecodeAnsi(const std::uint8_t* bytes, std::size_t count, std::uint8_t charSet);
