#pragma once
// The normalised correlation of a template with every place of an image, as
// the field search compares edges: by the Fourier transform where the places
// are many, directly where they are few.

#include <opencv2/core.hpp>

#include <utility>
#include <vector>

namespace ardentis
{

// A template (CV_32FC1) ready to be correlated with many images: its mean
// taken out once, its spectrum made once for each size of transform.
class CorrelationTemplate
{
public:
    explicit CorrelationTemplate(const cv::Mat &templ);
    // The correlation coefficient (−1 to 1) of the template with the part of
    // `image` (CV_32FC1, no smaller) under it at each of its places: CV_32FC1
    // of (image − template + 1) places. The image library's TM_CCOEFF_NORMED
    // to a few parts in a million, with its rules where a part of the image
    // is flat (0) and for a flat template (1).
    cv::Mat correlate(const cv::Mat &image) const;

private:
    cv::Mat centred_;
    double norm_ = 0; // of the centred template
    mutable std::vector<std::pair<cv::Size, cv::Mat>> spectra_;
    const cv::Mat &spectrum(cv::Size size) const;
};

} // namespace ardentis
