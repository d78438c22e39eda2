// The one unit that compiles the stb implementations, with their defaults.
#define STB_RECT_PACK_IMPLEMENTATION
#include <stb_rect_pack.h>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>
