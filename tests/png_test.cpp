// PNG files: what is written reads back as the same 8-bit RGB pixels, and a
// write that fails leaves neither the file nor its temporary name.
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <png.h>

#include "core/output.h"
#include "draw/picture.h"

namespace {

std::string folder()
{
    std::string path = testing::TempDir() + "plexorama-png-XXXXXX";
    EXPECT_NE(mkdtemp(path.data()), nullptr);
    return path;
}

TEST(Png, ReadsBackAsTheSamePixels)
{
    std::string dir = folder();
    for (int size : {16, 17, 300}) {
        // Every pixel different from its neighbours, so a shifted or
        // mirrored row shows.
        std::vector<uint8_t> rgb(3 * size * size);
        for (size_t k = 0; k < rgb.size(); k++)
            rgb[k] = static_cast<uint8_t>(k * 7 + k / 3);
        std::string path = dir + "/p" + std::to_string(size) + ".png";
        Output output;
        ASSERT_EQ(open_output(path.c_str(), 0, &output), 1);
        ASSERT_EQ(save_png_picture(&output, rgb.data(), size), nullptr);

        png_image image;
        memset(&image, 0, sizeof image);
        image.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str())) << image.message;
        EXPECT_EQ(image.width, static_cast<png_uint_32>(size));
        EXPECT_EQ(image.height, static_cast<png_uint_32>(size));
        EXPECT_EQ(image.format, static_cast<png_uint_32>(PNG_FORMAT_RGB)) << "8-bit RGB, no alpha";
        image.format = PNG_FORMAT_RGB;
        std::vector<uint8_t> read(PNG_IMAGE_SIZE(image));
        ASSERT_TRUE(png_image_finish_read(&image, nullptr, read.data(), 0, nullptr)) << image.message;
        EXPECT_EQ(read, rgb) << size;
        unlink(path.c_str());
    }
    rmdir(dir.c_str());
}

TEST(Png, AFullDiskLeavesNothing)
{
    std::string dir = folder();
    std::string path = dir + "/full.png";
    Output output;
    ASSERT_EQ(open_output(path.c_str(), 0, &output), 1);
    // Writes into the temporary name go to a device that is always full.
    fclose(output.file);
    output.file = fopen("/dev/full", "wb");
    ASSERT_NE(output.file, nullptr);
    std::vector<uint8_t> rgb(3 * 256 * 256, 0x55);
    for (size_t k = 0; k < rgb.size(); k++)
        rgb[k] = static_cast<uint8_t>(k * 13);
    EXPECT_STREQ(save_png_picture(&output, rgb.data(), 256), "cannot write: No space left on device");
    EXPECT_NE(access(path.c_str(), F_OK), 0) << "the target was made";
    EXPECT_EQ(rmdir(dir.c_str()), 0) << "the temporary file is left in " << dir;
}

} // namespace
