#include "pictures/pictures.h"

#include "pictures/imagesize.h"

#include <QFile>
#include <QFileInfo>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>
// clang-format off
#include <jpeglib.h>
#include <jerror.h>
#include <libdeflate.h>
// clang-format on

namespace ardentis
{

namespace
{

// The limit of a decode under way on this thread (0: none under way), and
// the size of the picture it refused for its size, if it did.
struct Decoding {
    double max_pixels = 0;
    cv::Size refused;
};
thread_local Decoding decoding;

// The image library reads the header of a format this program does not know
// and then allocates what that header declares. While a decode is under
// way, this allocator refuses a picture beyond its limit before any of its
// memory is taken.
class LimitedAllocator : public cv::MatAllocator
{
public:
    LimitedAllocator() { cv::Mat::setDefaultAllocator(this); }
    cv::UMatData *allocate(int dims, const int *sizes, int type, void *data, size_t *step,
                           cv::AccessFlag flags, cv::UMatUsageFlags usage) const override
    {
        double pixels = 1;
        for (int i = 0; i < dims; ++i)
            pixels *= sizes[i];
        if (decoding.max_pixels > 0 && !data && dims == 2 && pixels > decoding.max_pixels) {
            decoding.refused = cv::Size(sizes[1], sizes[0]);
            CV_Error(cv::Error::StsNoMem, "a picture beyond the limit");
        }
        return standard_->allocate(dims, sizes, type, data, step, flags, usage);
    }
    bool allocate(cv::UMatData *data, cv::AccessFlag flags, cv::UMatUsageFlags usage) const override
    {
        return standard_->allocate(data, flags, usage);
    }
    void deallocate(cv::UMatData *data) const override { standard_->deallocate(data); }

private:
    cv::MatAllocator *standard_ = cv::Mat::getStdAllocator();
};

// Made before main, before any thread takes a picture.
LimitedAllocator limited_allocator;

QString too_large(const QString &what, cv::Size size)
{
    return QStringLiteral("The %1 is %2 x %3 pixels, more than the limit of %4 megapixels.")
        .arg(what)
        .arg(size.width)
        .arg(size.height)
        .arg(max_picture_pixels / 1e6);
}

// libjpeg's error manager, extended with where to jump on an error and the
// first message that means the picture is damaged.
struct JpegErrors {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
    char damage[JMSG_LENGTH_MAX];
};

[[noreturn]] void jpeg_error(j_common_ptr info)
{
    auto *errors = reinterpret_cast<JpegErrors *>(info->err);
    info->err->format_message(info, errors->damage);
    std::longjmp(errors->jump, 1);
}

// Warnings that mean some pixels were not decoded from the data: the
// decoder made them up. Other warnings are about metadata.
void jpeg_message(j_common_ptr info, int level)
{
    if (level >= 0)
        return; // trace messages
    auto *errors = reinterpret_cast<JpegErrors *>(info->err);
    ++info->err->num_warnings;
    switch (info->err->msg_code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
    case JWRN_BOGUS_PROGRESSION:
        if (!errors->damage[0])
            info->err->format_message(info, errors->damage);
        break;
    default:
        break;
    }
}

struct DecompressGuard {
    jpeg_decompress_struct *info;
    ~DecompressGuard() { jpeg_destroy_decompress(info); }
};

enum class JpegResult { Decoded, Damaged, Cmyk, NotColour };

// The pixels before a picture made by `off_boundary`.
constexpr int boundary_skip = 8;

// A picture of three 8-bit channels, continuous, whose first row starts 24
// bytes past a 32-byte boundary. libjpeg's vector code writes a row that
// starts on such a boundary past the cache, straight to memory; it writes
// these rows through the cache, where whoever is told of them finds them.
cv::Mat off_boundary(int rows, int cols)
{
    const cv::Mat buffer(1, rows * cols + boundary_skip, CV_8UC3);
    return buffer.colRange(boundary_skip, boundary_skip + rows * cols).reshape(0, rows);
}

// Decodes a JPEG into `image` (blue, green, red, as the image library's own
// reader does, with the same library and settings) and tells whether every
// pixel came from the data. `rows_done`, when given, is told of the rows as
// they come.
JpegResult decode_jpeg(const std::uint8_t *data, size_t size, cv::Mat &image, char *damage,
                       const RowsDone &rows_done)
{
    jpeg_decompress_struct info;
    JpegErrors errors;
    info.err = jpeg_std_error(&errors.mgr);
    errors.mgr.error_exit = jpeg_error;
    errors.mgr.emit_message = jpeg_message;
    errors.damage[0] = 0;
    jpeg_create_decompress(&info);
    const DecompressGuard guard{&info};
    if (setjmp(errors.jump)) {
        std::snprintf(damage, JMSG_LENGTH_MAX, "%s", errors.damage);
        return JpegResult::Damaged;
    }
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    if (info.num_components == 4)
        return JpegResult::Cmyk;
    if (info.num_components != 3)
        return JpegResult::NotColour;
    info.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&info);
    const int rows = int(info.output_height), cols = int(info.output_width);
    // A picture at the limit is made as usual: its few pixels more would pass it.
    if (rows_done && double(rows) * cols + boundary_skip <= max_picture_pixels)
        image = off_boundary(rows, cols);
    else
        image.create(rows, cols, CV_8UC3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image.ptr<uchar>(int(info.output_scanline));
        if (jpeg_read_scanlines(&info, &row, 1) != 1)
            break;
        if (rows_done)
            rows_done(image, int(info.output_scanline));
    }
    jpeg_finish_decompress(&info);
    std::snprintf(damage, JMSG_LENGTH_MAX, "%s", errors.damage);
    return damage[0] ? JpegResult::Damaged : JpegResult::Decoded;
}

// Where the encoder puts a JPEG: a string made about as long as the JPEG
// will be, doubled whenever it fills, so that its bytes are seldom moved and
// never copied out at the end.
struct StringDestination {
    jpeg_destination_mgr mgr; // first: the encoder hands its address back
    std::string bytes;

    StringDestination(j_compress_ptr info, size_t expected) : bytes(expected, '\0')
    {
        mgr.next_output_byte = reinterpret_cast<JOCTET *>(bytes.data());
        mgr.free_in_buffer = bytes.size();
        mgr.init_destination = [](j_compress_ptr) {};
        mgr.empty_output_buffer = &StringDestination::grow;
        mgr.term_destination = [](j_compress_ptr c) {
            auto *d = reinterpret_cast<StringDestination *>(c->dest);
            d->bytes.resize(d->bytes.size() - d->mgr.free_in_buffer);
        };
        info->dest = &mgr;
    }

    // Called when every byte is taken.
    static boolean grow(j_compress_ptr info)
    {
        auto *d = reinterpret_cast<StringDestination *>(info->dest);
        const size_t used = d->bytes.size();
        bool grown = true;
        try {
            d->bytes.resize(2 * used);
        } catch (const std::bad_alloc &) {
            grown = false;
        }
        if (!grown)
            ERREXIT1(info, JERR_OUT_OF_MEMORY, 0);
        d->mgr.next_output_byte = reinterpret_cast<JOCTET *>(d->bytes.data()) + used;
        d->mgr.free_in_buffer = used;
        return TRUE;
    }
};

struct CompressGuard {
    jpeg_compress_struct *info;
    ~CompressGuard() { jpeg_destroy_compress(info); }
};

void put_u32(std::string &out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out += char((v >> shift) & 0xff);
}

// A PNG chunk: its length, type, data and the CRC of type and data.
void put_chunk(std::string &png, const char *type, const std::string &data)
{
    put_u32(png, std::uint32_t(data.size()));
    const size_t start = png.size();
    png.append(type, 4).append(data);
    put_u32(png, libdeflate_crc32(0, png.data() + start, png.size() - start));
}

Picture decode_checked(const std::uint8_t *data, size_t size, const QString &what,
                       const RowsDone &rows_done)
{
    const QString undecodable = QStringLiteral("The %1 cannot be decoded.").arg(what);
    // Formats whose header is not read here (WebP, PNM, JPEG 2000, ...) are
    // held to the limit by the allocator.
    const PictureFormat format = picture_format(data, size);
    const std::optional<cv::Size> declared = declared_size(data, size);
    if (!declared && format != PictureFormat::Unknown)
        return {{}, undecodable};
    if (declared && double(declared->width) * declared->height > max_picture_pixels)
        return {{}, too_large(what, *declared)};
    const QString not_colour =
        QStringLiteral("The %1 is not a picture of three 8-bit channels.").arg(what);
    if (format != PictureFormat::Jpeg) {
        const cv::Mat image = decode_stored(data, size);
        return {image, image.empty() ? undecodable : QString()};
    }
    cv::Mat image;
    char damage[JMSG_LENGTH_MAX] = {};
    switch (decode_jpeg(data, size, image, damage, rows_done)) {
    case JpegResult::Decoded:
        return {image, {}};
    case JpegResult::Damaged:
        return {{},
                QStringLiteral("The %1 is damaged or cut short (%2).")
                    .arg(what, QString::fromLatin1(damage))};
    case JpegResult::Cmyk:
        return {{},
                QStringLiteral("The %1 is a CMYK JPEG; only RGB pictures can be used.").arg(what)};
    case JpegResult::NotColour:
        break;
    }
    return {{}, not_colour};
}

} // namespace

cv::Mat decode_stored(const std::uint8_t *data, size_t size)
{
    const std::vector<std::uint8_t> stored = tiff_as_stored(data, size);
    const std::uint8_t *bytes = stored.empty() ? data : stored.data();
    // A header over the bytes: decoding reads them in place.
    return cv::imdecode(cv::Mat(1, int(size), CV_8UC1, const_cast<std::uint8_t *>(bytes)),
                        cv::IMREAD_UNCHANGED);
}

std::string encode_jpeg(const cv::Mat &picture, int quality, const RowDrawing &draw)
{
    if (picture.depth() != CV_8U || (picture.channels() != 3 && picture.channels() != 1) ||
        picture.empty())
        return {};
    jpeg_compress_struct info;
    JpegErrors errors;
    info.err = jpeg_std_error(&errors.mgr);
    errors.mgr.error_exit = jpeg_error;
    jpeg_create_compress(&info);
    const CompressGuard guard{&info};
    // An eighth of a byte per sample: a little more than the photographs'
    // JPEGs take at the qualities used here.
    StringDestination out(&info, std::max<size_t>(4096, picture.total() * picture.channels() / 8));
    if (setjmp(errors.jump))
        return {};
    info.image_width = JDIMENSION(picture.cols);
    info.image_height = JDIMENSION(picture.rows);
    info.input_components = picture.channels();
    // Rows are read as they lie: libjpeg turns blue, green, red itself.
    info.in_color_space = picture.channels() == 3 ? JCS_EXT_BGR : JCS_GRAYSCALE;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<uchar> copy(draw ? size_t(picture.cols) * picture.elemSize() : 0);
    while (info.next_scanline < info.image_height) {
        const int y = int(info.next_scanline);
        JSAMPROW row = const_cast<uchar *>(picture.ptr<uchar>(y));
        if (draw) {
            std::copy(row, row + copy.size(), copy.begin());
            draw(y, copy.data());
            row = copy.data();
        }
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    return std::move(out.bytes);
}

cv::Mat drawn_picture(const cv::Mat &picture, const RowDrawing &draw)
{
    cv::Mat drawn = picture.clone();
    for (int y = 0; y < drawn.rows; ++y)
        draw(y, drawn.ptr(y));
    return drawn;
}

std::string encode_png(const cv::Mat &picture)
{
    if (picture.type() != CV_8UC3 || picture.empty())
        return {};
    // Each row as the format lays it: a filter byte (none), then red, green,
    // blue.
    const size_t stride = 3 * size_t(picture.cols) + 1;
    std::vector<unsigned char> rows(stride * size_t(picture.rows), 0);
    cv::Mat rgb(picture.rows, picture.cols, CV_8UC3, rows.data() + 1,
                stride); // past the filter bytes
    cv::cvtColor(picture, rgb, cv::COLOR_BGR2RGB);
    const std::unique_ptr<libdeflate_compressor, void (*)(libdeflate_compressor *)> compressor(
        libdeflate_alloc_compressor(1), libdeflate_free_compressor);
    if (!compressor)
        return {};
    std::string data(libdeflate_zlib_compress_bound(compressor.get(), rows.size()), '\0');
    data.resize(libdeflate_zlib_compress(compressor.get(), rows.data(), rows.size(), data.data(),
                                         data.size()));
    if (data.empty())
        return {};
    std::string header;
    put_u32(header, std::uint32_t(picture.cols));
    put_u32(header, std::uint32_t(picture.rows));
    header += std::string("\x08\x02\x00\x00\x00", 5); // 8-bit red, green, blue; not interlaced
    std::string png("\x89PNG\r\n\x1a\n", 8);
    put_chunk(png, "IHDR", header);
    put_chunk(png, "IDAT", data);
    put_chunk(png, "IEND", {});
    return png;
}

DecodeLimit::DecodeLimit(double max_pixels)
{
    decoding = {max_pixels, {}};
}

DecodeLimit::~DecodeLimit()
{
    decoding.max_pixels = 0;
}

cv::Size DecodeLimit::refused() const
{
    return decoding.refused;
}

Picture decode_picture(const QByteArray &bytes, const QString &what, Turning turning,
                       const RowsDone &rows_done)
{
    const DecodeLimit limit(max_picture_pixels);
    const auto *data = reinterpret_cast<const std::uint8_t *>(bytes.constData());
    const int orientation =
        turning == Turning::Upright ? declared_orientation(data, size_t(bytes.size())) : 1;
    try {
        // The rows of a picture to be turned are not those returned.
        Picture picture = decode_checked(data, size_t(bytes.size()), what,
                                         orientation == 1 ? rows_done : RowsDone());
        if (!picture.image.empty())
            picture.image = turned_upright(picture.image, orientation);
        picture.turned_quarter = orientation >= 5;
        picture.thermal_segments = holds_thermal_segments(data, size_t(bytes.size()));
        return picture;
    } catch (const cv::Exception &) {
        return {{},
                limit.refused().empty() ? QStringLiteral("The %1 cannot be decoded.").arg(what)
                                        : too_large(what, limit.refused())};
    }
}

QString file_problem(const QString &path, const QString &what)
{
    const QFileInfo info(path);
    if (!info.exists())
        return info.isSymLink() ? QStringLiteral("The %1 is a link to nothing (its target is "
                                                 "missing, or links lead back to it).")
                                      .arg(what)
                                : QStringLiteral("The %1 does not exist.").arg(what);
    if (!info.isFile())
        return QStringLiteral("The %1 is not a regular file.").arg(what);
    return {};
}

namespace
{

// The segments of a JPEG file before its picture, read by their heads.
class SegmentWalk
{
public:
    explicit SegmentWalk(const QString &path) : file_(path) {}
    // Why the segments are not whole: cut short, or a thermal record missing
    // a part; nothing when they are, or when the file is no JPEG.
    QString problem();

private:
    bool byte(uchar &b) { return file_.getChar(reinterpret_cast<char *>(&b)); }
    // Notes the part number and the last part's number of a FLIR segment.
    void thermal_part(int length);
    QFile file_;
    std::vector<int> parts_; // the numbers of the FLIR segments seen
    int last_ = -1;          // the last part's number, as they say; -2 when they differ
};

void SegmentWalk::thermal_part(int length)
{
    uchar head[8];
    if (length < 2 + 8 || file_.read(reinterpret_cast<char *>(head), 8) != 8 ||
        std::memcmp(head, flir_segment_head, flir_segment_head_size) != 0)
        return;
    parts_.push_back(head[6]);
    last_ = last_ == -1 || last_ == head[7] ? head[7] : -2;
}

QString SegmentWalk::problem()
{
    const QString cut =
        QStringLiteral("It is cut short: it ends inside the segments before its picture.");
    uchar b[2];
    if (!file_.open(QIODevice::ReadOnly) || !byte(b[0]) || !byte(b[1]) || b[0] != 0xFF ||
        b[1] != 0xD8)
        return {}; // no JPEG
    for (;;) {
        uchar marker = 0;
        do { // to the next marker, past stray bytes and fill bytes
            if (!byte(marker))
                return cut;
        } while (marker != 0xFF);
        do {
            if (!byte(marker))
                return cut;
        } while (marker == 0xFF);
        if (marker == 0xDA)
            break;
        if (marker == 0xD9) // an end before any picture: for the decoder to judge
            return {};
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            continue; // no segment: no length follows
        if (!byte(b[0]) || !byte(b[1]))
            return cut;
        const int length = b[0] << 8 | b[1];
        const qint64 next = file_.pos() + length - 2;
        if (length < 2)
            continue;
        if (next > file_.size())
            return cut;
        if (marker == 0xE1)
            thermal_part(length);
        if (!file_.seek(next))
            return cut;
    }
    std::sort(parts_.begin(), parts_.end());
    for (size_t k = 0; k < parts_.size(); ++k)
        if (parts_[k] != int(k) || last_ != int(parts_.size()) - 1)
            return QStringLiteral("It is damaged: its FLIR record misses a part.");
    return {};
}

} // namespace

QString segments_problem(const QString &path)
{
    return SegmentWalk(path).problem();
}

Picture read_picture(const QString &path, const QString &what, Turning turning,
                     const RowsDone &rows_done)
{
    const QString missing = file_problem(path, what);
    if (!missing.isEmpty())
        return {{}, missing};
    if (QFileInfo(path).size() > max_picture_bytes)
        return {
            {},
            QStringLiteral("The %1 is larger than %2 MB.").arg(what).arg(max_picture_bytes >> 20)};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {{}, QStringLiteral("The %1 cannot be read: %2").arg(what, file.errorString())};
    return decode_picture(file.readAll(), what, turning, rows_done);
}

} // namespace ardentis
