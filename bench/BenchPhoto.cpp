#include "BenchPhoto.h"

#include "TarvoConvert/Vips.h"

#include <QFile>

#include <vector>

namespace tarvo::bench {

void writePhoto(const QString& path, int width, int height, double sigma, double blur) {
    Vips::start();
    VipsImage* noise = nullptr;
    VipsImage* xy = nullptr;
    VipsImage* gradient = nullptr;
    VipsImage* rgb = nullptr;
    VipsImage* three = nullptr;
    VipsImage* sum = nullptr;
    VipsImage* soft = nullptr;
    VipsImage* bytes = nullptr;
    vips_gaussnoise(&noise, width, height, "sigma", sigma, "mean", 0.0, nullptr);
    vips_xyz(&xy, width, height, nullptr);
    const double scale[] = {255.0 / width, 255.0 / height};
    const double offset[] = {0, 0};
    vips_linear(xy, &gradient, scale, offset, 2, nullptr);
    VipsImage* bands[] = {gradient, gradient, gradient};
    vips_bandjoin(bands, &rgb, 3, nullptr);
    vips_extract_band(rgb, &three, 0, "n", 3, nullptr);
    vips_add(three, noise, &sum, nullptr);
    std::vector<VipsImage*> made = {noise, xy, gradient, rgb, three, sum};
    VipsImage* picture = sum;
    if (blur > 0) {
        vips_gaussblur(sum, &soft, blur, nullptr);
        made.push_back(soft);
        picture = soft;
    }
    vips_cast_uchar(picture, &bytes, nullptr);
    made.push_back(bytes);
    bytes->Type = VIPS_INTERPRETATION_sRGB;
    vips_jpegsave(bytes, QFile::encodeName(path).constData(), "Q", 90, nullptr);
    for (VipsImage* image : made)
        g_object_unref(image);
}

} // namespace tarvo::bench
