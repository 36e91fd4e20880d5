// The common base of the picture readers: a bitmap that fills itself from a stream, describing
// the file in a TImageProperties record and converting the stored samples through its own
// colour manager.
//
// A reader class provides, besides the overrides below, a static content test
//   static bool CanLoadStream(TStream& stream);
// that looks at the bytes from the stream's position and always puts the position back, and a
// class object made with ReaderClass<T>(name), declared in FileFormatList.h.
#pragma once

#include "color/ColorManager.h"
#include "formats/ImageProperties.h"
#include "platform/Bitmap.h"
#include "platform/ByteOrder.h"
#include "platform/Exception.h"
#include "platform/PictureFormats.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>

class TStream;

// The most pixels a reader accepts in one picture (beyond it the header is refused before
// anything is allocated).
inline constexpr std::uint64_t MaxPixelCount = MaxPicturePixels;
// The most bytes one byte of deflate data can inflate to.
inline constexpr std::uint64_t MaxDeflateExpansion = 1032;

class TReaderGraphic : public TBitmap {
public:
    TReaderGraphic() = default;
    ~TReaderGraphic() override = default;

    // The base claims nothing.
    static bool CanLoadStream(TStream& stream);
    // Opens the file for reading (others may read, not write), asks the class's content test,
    // closes it. False for a class without a content test.
    static bool CanLoadFile(const TGraphicClass& graphicClass, const std::string& fileName);

    // Fills ImageProperties from the stream at its position. The base resets the record (arrays
    // released, all fields zero, FileGamma 1.0) and answers false; every reader calls it first.
    virtual bool ReadProperties(TStream& stream, unsigned imageIndex);
    // Decodes the picture into this bitmap; raises EInvalidGraphic (or the colour manager's,
    // decoders' or stream's errors) on failure, keeping the rows converted so far.
    void LoadFromStream(TStream& stream) override = 0;
    // Copies the properties record too when the source is a reader.
    void Assign(const TBitmap& source) override;
    // Raises the invalid-format message when a load left the picture empty (a GIF file without
    // an image, a tiled TIFF file, a header of width 0): such a file has not been loaded.
    void RequirePicture() const;

    // The name of the format in the reader's messages ("PNG", "GIF", ...); every reader has one.
    virtual const char* FormatLabel() const = 0;

    TColorManager ColorManager;
    TImageProperties ImageProperties;
    // Where the image file starts in the stream; file offsets of a format count from here.
    std::int64_t BasePosition = 0;

protected:
    // Refuses a picture before anything is allocated: width or height beyond the bitmap's range,
    // more than MaxPixelCount pixels, or more decoded bytes (bytesNeeded) than the data left in
    // the file could ever produce (bytesDecodable: StoredRowsBound for stored rows, the largest
    // expansion for compressed data; the default means unknown). Raises gesImageTooLarge with
    // ErrorLabel().
    void CheckImageSize(std::uint64_t width, std::uint64_t height, std::uint64_t bytesNeeded = 0,
                        std::uint64_t bytesDecodable = std::numeric_limits<std::uint64_t>::max()) const;
    // The first steps of every load: release the picture, note where the file starts, keep the
    // stream and describe the file; answers what ReadProperties answered.
    bool BeginLoad(TStream& stream);
    // The one way a reader reports a fault in its file: raises EInvalidGraphic with message, a
    // text of ReaderStrings.h, formatted from args by printf rules (taken as it is without any).
    // Where the text names the format, the reader passes ErrorLabel() for it:
    //   GraphicError(gesInvalidImage, ErrorLabel());
    //   GraphicError(gesUnsupportedFeature, gesCompression, ErrorLabel());
    template <class... Args> [[noreturn]] void GraphicError(const char* message, Args... args) const {
        if constexpr (sizeof...(Args) == 0)
            throw EInvalidGraphic(message);
        else
            throw EInvalidGraphic(FormatText(message, args...));
    }
    // The label of the messages the reader raises: FormatLabel(), unless the reader speaks of
    // what it reads in another reader's words (the EPS reader of its TIFF preview).
    virtual const char* ErrorLabel() const { return FormatLabel(); }

    // The stream being read during a load (null otherwise).
    TStream* Stream = nullptr;
};

// The class object of reader T: its name, a factory, its content test, marked as a reader.
template <class T> constexpr TGraphicClass ReaderClass(const char* name) {
    return TGraphicClass{name, []() -> std::unique_ptr<TBitmap> { return std::make_unique<T>(); }, &T::CanLoadStream,
                         true};
}
