#pragma once
// Reading a pair's pictures safely: only regular files, only sizes no camera
// reaches exceeded, and only pictures that decode completely and cleanly, so
// that the same file always gives the same pixels.

#include <QString>
#include <opencv2/core.hpp>

#include <functional>
#include <string>

namespace ardentis
{

// Limits no real picture reaches.
constexpr double max_picture_pixels = 250e6;
constexpr qint64 max_picture_bytes = 1LL << 30;

// While one lives, the image library refuses on its thread any picture
// beyond `max_pixels` before taking its memory (with a cv::Exception): a
// decoder that reads a header this program does not read, or reads
// otherwise, allocates no more.
class DecodeLimit
{
public:
    explicit DecodeLimit(double max_pixels);
    ~DecodeLimit();
    DecodeLimit(const DecodeLimit &) = delete;
    DecodeLimit &operator=(const DecodeLimit &) = delete;
    // The size of the picture refused, empty when none was.
    cv::Size refused() const;
};

// Whether a picture is turned upright by the orientation its header declares
// (a camera held upright may store its photograph sideways and say so), or
// kept as stored (a radiometric image, whose raw data are as stored).
enum class Turning { AsStored, Upright };

// A decoded picture, or why there is none.
struct Picture {
    cv::Mat image;
    QString problem;
    bool thermal_segments = false; // a JPEG with a thermal camera's own segments
    bool turned_quarter = false;   // stored a quarter turn from upright, and turned
};

// Decodes `data` with the image library, unchanged in depth and channels and
// as stored: the library's TIFF reader, which turns a TIFF by its orientation
// on its own (and mirrors tiled ones wrongly), is told it is upright as
// stored. Throws the library's exceptions.
cv::Mat decode_stored(const std::uint8_t *data, size_t size);

// Told while a picture is decoded that its first `rows` rows are done, and
// still in the processor's cache: `picture` is the picture being decoded,
// whole in size.
using RowsDone = std::function<void(const cv::Mat &picture, int rows)>;

// Why there is no file to read at `path`, naming it `what` ("photograph"): it
// does not exist, is a link to nothing, or is not a regular file; nothing
// when there is one.
QString file_problem(const QString &path, const QString &what);

// Why the segments of the JPEG file at `path` before its picture, where a
// radiometric image keeps its raw data, are not whole: the file ends inside
// them, or its FLIR record misses a part. Nothing when they are whole or the
// file is no JPEG. Reads only the segments' heads.
QString segments_problem(const QString &path);

// Decodes the picture at `path` unchanged in depth and channels (a JPEG in
// blue, green, red order, as the image library decodes it), in any format
// the image library reads; none beyond max_picture_pixels is allocated. `what` names the
// picture in the problem texts ("radiometric image", "photograph").
// `rows_done`, when given, is told of a JPEG's rows as they come, when the
// picture returned is the one decoded (not turned); otherwise never.
Picture read_picture(const QString &path, const QString &what, Turning turning = Turning::AsStored,
                     const RowsDone &rows_done = {});

// Decodes picture bytes already read.
Picture decode_picture(const QByteArray &bytes, const QString &what,
                       Turning turning = Turning::AsStored, const RowsDone &rows_done = {});

// `picture` (8-bit, blue, green, red or grey) as a baseline JPEG of
// `quality` (1 to 100), byte for byte what the image library writes with that
// quality, without its copy of every row into red, green, blue order; empty
// when it cannot be encoded.
// `draw`, when given, draws over a copy of each row before it is encoded.
using RowDrawing = std::function<void(int y, uchar *row)>;
std::string encode_jpeg(const cv::Mat &picture, int quality, const RowDrawing &draw = {});
// A copy of `picture` with `draw` drawn over each of its rows.
cv::Mat drawn_picture(const cv::Mat &picture, const RowDrawing &draw);

// `picture` (8-bit, blue, green, red) as a PNG, quickly compressed; empty when
// it cannot be encoded.
std::string encode_png(const cv::Mat &picture);

} // namespace ardentis
