// The JPEG writer of VKVX_SaveFrameToFile (libjpeg, quality 90, baseline
// tables).  An encoder error returns to the writer through the error manager;
// the writer then destroys the compression object, closes the file, frees its
// staging rows and returns VKVX_ERROR_FILE_WRITE.
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <sys/types.h>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "Log.h"
#include "frame/FrameCommon.h"
#include "vkvx.h"

namespace vkvx::frame {
namespace {

struct ErrorManager {
    jpeg_error_mgr pub;  // first: libjpeg sees only this part
    jmp_buf jump;
};

extern "C" void jpegErrorExit(j_common_ptr cinfo)
{
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    VKVX_LOG(log::Error, "SaveFrameToFile JPEG encoder: %s", text);
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

extern "C" void jpegOutputMessage(j_common_ptr cinfo)
{
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    VKVX_LOG(log::Warning, "SaveFrameToFile JPEG encoder: %s", text);
}

// Rows handed to the encoder per call.
constexpr size_t kRowsPerCall = 16;

#if defined(JCS_EXTENSIONS)
// The 4-byte pixels go to the encoder as they are: byte 2 red, 1 green,
// 0 blue, 3 unused.
constexpr J_COLOR_SPACE kInputSpace = JCS_EXT_BGRX;
constexpr int kInputComponents = 4;
#else
constexpr J_COLOR_SPACE kInputSpace = JCS_RGB;
constexpr int kInputComponents = 3;
#endif

// Compresses the frame onto fp.  Returns 0 or VKVX_ERROR_FILE_WRITE.  Kept
// apart from the caller so that nothing with a destructor lives in the frame
// that setjmp marks.
int32_t compress(FILE* fp, const VKVX_FRAME& frame, uint8_t* staging, size_t stagingRowBytes)
{
    jpeg_compress_struct cinfo;
    ErrorManager errors;
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = jpegErrorExit;
    errors.pub.output_message = jpegOutputMessage;
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&cinfo);
        return VKVX_ERROR_FILE_WRITE;
    }
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, fp);
    cinfo.image_width = frame.Width;
    cinfo.image_height = frame.Height;
    cinfo.input_components = kInputComponents;
    cinfo.in_color_space = kInputSpace;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);

    const auto* in = static_cast<const uint8_t*>(frame.Buffer);
    const size_t width = frame.Width;
    const size_t inRowBytes = width * frame.BytesPerElement;
    JSAMPROW rows[kRowsPerCall];
    while (cinfo.next_scanline < cinfo.image_height) {
        const size_t first = cinfo.next_scanline;
        size_t n = cinfo.image_height - first;
        if (n > kRowsPerCall) {
            n = kRowsPerCall;
        }
        for (size_t i = 0; i < n; ++i) {
            const uint8_t* row = in + (first + i) * inRowBytes;
            if (!staging) {
                rows[i] = const_cast<JSAMPROW>(row);  // read only by the encoder
                continue;
            }
            uint8_t* out = staging + i * stagingRowBytes;
            if (frame.BytesPerElement == 8) {
                highBytes(row, out, width);
                row = out;
            }
            if (kInputComponents == 3) {
                packRgb24(row, out, width);  // in place is safe: output trails input
            }
            rows[i] = out;
        }
        jpeg_write_scanlines(&cinfo, rows, static_cast<JDIMENSION>(n));
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return 0;
}

}  // namespace

int32_t writeJpeg(const char* name, const VKVX_FRAME& frame)
{
    if (frame.BytesPerElement != 4 && frame.BytesPerElement != 8) {
        return VKVX_ERROR_INVALID_FORMAT_ID;
    }
    if (frame.Width == 0 || frame.Height == 0 || frame.Width > JPEG_MAX_DIMENSION ||
        frame.Height > JPEG_MAX_DIMENSION) {
        return VKVX_ERROR_INVALID_PARAMETER;  // the encoder cannot take it
    }
    // Rows that cannot go to the encoder as they are get reduced, a few at a
    // time, in staging rows of 4-byte pixels.
    uint8_t* staging = nullptr;
    const size_t stagingRowBytes = static_cast<size_t>(frame.Width) * 4;
    if (frame.BytesPerElement == 8 || kInputComponents == 3) {
        staging = static_cast<uint8_t*>(std::malloc(stagingRowBytes * kRowsPerCall));
        if (!staging) {
            return VKVX_ERROR_OUT_OF_MEMORY;
        }
    }
    FILE* fp = std::fopen(name, "wb");
    if (!fp) {
        std::printf("can't open %s\n", name);
        VKVX_LOG(log::Error, "SaveFrameToFile can't open %s", name);
        std::free(staging);
        return VKVX_ERROR_CREATE_FILE;
    }
    int32_t status = compress(fp, frame, staging, stagingRowBytes);
    std::free(staging);
    off_t size = 0;
    if (status == 0 && (std::fflush(fp) != 0 || std::ferror(fp) || (size = ftello(fp)) < 0)) {
        status = VKVX_ERROR_FILE_WRITE;
    }
    if (std::fclose(fp) != 0 && status == 0) {
        status = VKVX_ERROR_FILE_WRITE;
    }
    if (status == 0 && size > INT32_MAX) {
        status = VKVX_ERROR_FILE_WRITE;  // written, but its size cannot be reported
    }
    return status == 0 ? static_cast<int32_t>(size) : status;
}

}  // namespace vkvx::frame
