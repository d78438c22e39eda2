// The one unit of glyphmint-font that compiles stb_image, PNG only.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>
