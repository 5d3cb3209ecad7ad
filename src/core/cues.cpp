// Cues to the hidden coordinate: the cool-warm map, and the cues in effect.
#include "core/cues.h"

#include <cmath>

#include "core/view.h"

// Moreland's diverging map ("Diverging Color Maps for Scientific
// Visualization", 2009): the two ends meet in a grey through Msh space, a
// polar form of CIELAB in which the lightness of a colour is its length M,
// so that equal steps look alike and the middle is as light as either end.
struct Msh {
    double m, s, h;
};

static double __linear_cues(double c)
{
    return c > 0.04045 ? std::pow((c + 0.055) / 1.055, 2.4) : c / 12.92;
}

static double __encoded_cues(double c)
{
    return c > 0.0031308 ? 1.055 * std::pow(c, 1 / 2.4) - 0.055 : 12.92 * c;
}

// D65 white, as sRGB is defined.
static const double white[3] = {0.95047, 1.0, 1.08883};

static double __lab_f_cues(double t)
{
    return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116.0;
}

static double __lab_f_inverse_cues(double f)
{
    return f > 0.20689 ? f * f * f : (f - 16.0 / 116.0) / 7.787;
}

static Msh __msh_cues(const double* rgb)
{
    double r = __linear_cues(rgb[0]), g = __linear_cues(rgb[1]), b = __linear_cues(rgb[2]);
    double xyz[3] = {0.4124 * r + 0.3576 * g + 0.1805 * b, 0.2126 * r + 0.7152 * g + 0.0722 * b,
        0.0193 * r + 0.1192 * g + 0.9505 * b};
    double f[3];
    for (int k = 0; k < 3; k++)
        f[k] = __lab_f_cues(xyz[k] / white[k]);
    double l = 116 * f[1] - 16, a = 500 * (f[0] - f[1]), bb = 200 * (f[1] - f[2]);
    double m = std::sqrt(l * l + a * a + bb * bb);
    return {m, m > 0 ? std::acos(l / m) : 0.0, std::atan2(bb, a)};
}

static void __rgb_cues(Msh c, double* rgb)
{
    double l = c.m * std::cos(c.s), a = c.m * std::sin(c.s) * std::cos(c.h),
           b = c.m * std::sin(c.s) * std::sin(c.h);
    double fy = (l + 16) / 116, fx = fy + a / 500, fz = fy - b / 200;
    double x = white[0] * __lab_f_inverse_cues(fx), y = white[1] * __lab_f_inverse_cues(fy),
           z = white[2] * __lab_f_inverse_cues(fz);
    double linear[3] = {3.2406 * x - 1.5372 * y - 0.4986 * z, -0.9689 * x + 1.8758 * y + 0.0415 * z,
        0.0557 * x - 0.2040 * y + 1.0570 * z};
    for (int k = 0; k < 3; k++)
        rgb[k] = std::fmin(1.0, std::fmax(0.0, __encoded_cues(linear[k])));
}

// The hue an unsaturated colour of length m takes next to a saturated one,
// so that the map turns no corner on its way through grey.
static double __adjust_hue_cues(Msh saturated, double m)
{
    if (saturated.m >= m)
        return saturated.h;
    double spin
        = saturated.s * std::sqrt(m * m - saturated.m * saturated.m) / (saturated.m * std::sin(saturated.s));
    return saturated.h > -M_PI / 3 ? saturated.h + spin : saturated.h - spin;
}

void tint_cues(double t, uint8_t* rgb)
{
    static const double blue[3] = {59 / 255.0, 76 / 255.0, 192 / 255.0},
                        red[3] = {180 / 255.0, 4 / 255.0, 38 / 255.0};
    Msh a = __msh_cues(blue), b = __msh_cues(red);
    // Through an unsaturated middle as light as the lighter end, or 88.
    double middle = std::fmax(std::fmax(a.m, b.m), 88.0);
    if (t < 0.5) {
        b = {middle, 0.0, 0.0};
        t = 2 * t;
    } else {
        a = {middle, 0.0, 0.0};
        t = 2 * t - 1;
    }
    if (a.s < 0.05 && b.s > 0.05)
        a.h = __adjust_hue_cues(b, a.m);
    else if (b.s < 0.05 && a.s > 0.05)
        b.h = __adjust_hue_cues(a, b.m);
    Msh mixed = {(1 - t) * a.m + t * b.m, (1 - t) * a.s + t * b.s, (1 - t) * a.h + t * b.h};
    double out[3];
    __rgb_cues(mixed, out);
    for (int k = 0; k < 3; k++)
        rgb[k] = static_cast<uint8_t>(std::lround(255 * out[k]));
}

void ramp_cues(float rgb[][3])
{
    for (int k = 0; k < ramp_size_cues; k++) {
        uint8_t c[3];
        tint_cues(static_cast<double>(k) / (ramp_size_cues - 1), c);
        for (int channel = 0; channel < 3; channel++)
            rgb[k][channel] = c[channel] / 255.0f;
    }
}

float tint_scale_cues()
{
    // Where w is 0 throughout, its range is none: the reach serves.
    if (view.cues.tint_scale < 0.0f && view.reach_w > 0.0f)
        return view.reach_w;
    return view.cues.tint_scale > 0.0f ? view.cues.tint_scale : view.reach;
}

float slice_width_cues()
{
    return view.cues.slice_width > 0.0f ? view.cues.slice_width : view.reach / 16.0f;
}

float eye4_at_cues()
{
    return view.cues.eye4_at > 0.0f ? view.cues.eye4_at : 3.0f * view.reach;
}

void move_slice_cues(float sign)
{
    View next = view;
    float moved = view.cues.slice_at + sign * 2.0f * view.reach / 240.0f;
    next.cues.slice_at = std::fmax(-view.reach, std::fmin(view.reach, moved));
    set_view(&next);
}
