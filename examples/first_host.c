/* A first host program: load a photograph, develop it, read the preview and
 * write a JPEG. Build against an installed Vantorix:
 *
 *   cc first_host.c $(pkg-config --cflags --libs vantorix) -o first_host
 *
 * or with CMake: find_package(Vantorix) and link Vantorix::vantorix (see
 * CMakeLists.txt beside this file). Run: ./first_host IN OUT.jpg */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <vantorix.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s IN OUT.jpg\n", argv[0]);
        return 2;
    }
    if (strcmp(vantorix_version(), VANTORIX_VERSION_STRING) != 0)
        fprintf(stderr, "note: header %s, library %s\n", VANTORIX_VERSION_STRING, vantorix_version());
    vantorix_set_quiet(1);

    EngineContext* ctx = vantorix_create_context();
    if (!ctx) return 1;
    int status = 1;
    if (vantorix_load_arw(ctx, argv[1], 2) != 0) {          /* RAW files at half size */
        fprintf(stderr, "cannot load %s: %s\n", argv[1], vantorix_last_error(ctx));
        goto done;
    }
    vantorix_set_temperature(ctx, 6500.0f);                  /* neutral white balance */
    float stops = 0.0f;
    if (vantorix_auto_exposure(ctx, &stops) == 0) vantorix_set_exposure(ctx, stops);
    if (vantorix_process(ctx) != 0) {
        fprintf(stderr, "cannot develop: %s\n", vantorix_last_error(ctx));
        goto done;
    }
    int w = vantorix_get_width(ctx), h = vantorix_get_height(ctx);
    uint8_t* rgba = malloc((size_t)w * h * 4);
    if (!rgba || vantorix_get_preview(ctx, rgba, w * h * 4) != 0) {
        fprintf(stderr, "no preview: %s\n", rgba ? vantorix_last_error(ctx) : "out of memory");
        free(rgba);
        goto done;
    }
    printf("%s: %d x %d, exposure %+.2f EV, first pixel %u %u %u\n", argv[1], w, h, stops, rgba[0], rgba[1], rgba[2]);
    free(rgba);
    if (vantorix_export_jpeg(ctx, argv[2], 90, 0, 1) != 0) {
        fprintf(stderr, "cannot write %s: %s\n", argv[2], vantorix_last_error(ctx));
        goto done;
    }
    status = 0;
done:
    vantorix_destroy_context(ctx);
    return status;
}
