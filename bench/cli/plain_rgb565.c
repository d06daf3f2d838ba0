/* The least a program can do to turn a PNG file into zentraq-cli's default
 * picture data: decode it with libpng, look every pixel up in a table of the
 * 65536 item texts ("0xLL,0xHH,"), end a line after every 8th item and write
 * the text into a new file in one piece. bench_startup measures the tool
 * against it; for an opaque picture the bytes are the tool's.
 *
 *   plain_rgb565 [--durable] IN.png OUT.txt
 *
 * --durable writes as the tool does: a new file beside OUT, synced to the
 * disk, renamed over OUT, and the folder synced.
 */
#include <png.h>

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static char table[65536][10];

static void fillTable(void) {
    static const char hex[] = "0123456789ABCDEF";
    for (int w = 0; w < 65536; ++w) {
        char* t = table[w];
        t[0] = '0';
        t[1] = 'x';
        t[2] = hex[(w >> 4) & 15];
        t[3] = hex[w & 15];
        t[4] = ',';
        t[5] = '0';
        t[6] = 'x';
        t[7] = hex[(w >> 12) & 15];
        t[8] = hex[(w >> 8) & 15];
        t[9] = ',';
    }
}

int main(int argc, char** argv) {
    const int durable = argc == 4 && strcmp(argv[1], "--durable") == 0;
    argv += durable;
    argc -= durable;
    if (argc != 3) {
        fprintf(stderr, "usage: plain_rgb565 [--durable] IN.png OUT.txt\n");
        return 2;
    }
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, argv[1])) {
        fprintf(stderr, "plain_rgb565: %s: %s\n", argv[1], image.message);
        return 1;
    }
    image.format = PNG_FORMAT_RGB;
    const png_color white = {255, 255, 255};
    png_bytep pixels = malloc(PNG_IMAGE_SIZE(image));
    if (!pixels || !png_image_finish_read(&image, &white, pixels, 0, NULL)) {
        fprintf(stderr, "plain_rgb565: %s: %s\n", argv[1], pixels ? image.message : "no memory");
        return 1;
    }

    fillTable();
    const size_t count = (size_t)image.width * image.height;
    char* text = malloc(count * 10 + count / 8 * 2);
    if (!text) {
        fprintf(stderr, "plain_rgb565: no memory\n");
        return 1;
    }
    size_t used = 0;
    for (size_t i = 0; i < count; ++i) {
        const png_byte* p = pixels + 3 * i;
        const int word = (p[0] >> 3) << 11 | (p[1] >> 2) << 5 | p[2] >> 3;
        memcpy(text + used, table[word], 10);
        used += 10;
        if (i % 8 == 7) {
            text[used++] = '\r';
            text[used++] = '\n';
        }
    }

    char temp[4096];
    if (snprintf(temp, sizeof temp, "%s.new", argv[2]) >= (int)sizeof temp) {
        fprintf(stderr, "plain_rgb565: %s: name too long\n", argv[2]);
        return 1;
    }
    const char* name = durable ? temp : argv[2];
    const int fd = open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        perror(name);
        return 1;
    }
    for (size_t done = 0; done < used;) {
        const ssize_t n = write(fd, text + done, used - done);
        if (n <= 0) {
            perror(name);
            return 1;
        }
        done += (size_t)n;
    }
    if ((durable && fsync(fd) != 0) || close(fd) != 0) {
        perror(name);
        return 1;
    }
    if (durable) {
        /* The folder of OUT: what comes before its last '/', or ".". */
        char folder[4096] = ".";
        const char* slash = strrchr(argv[2], '/');
        if (slash == argv[2]) {
            strcpy(folder, "/");
        } else if (slash) {
            memcpy(folder, argv[2], (size_t)(slash - argv[2])); /* shorter than temp */
            folder[slash - argv[2]] = '\0';
        }
        const int dir = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (rename(temp, argv[2]) != 0 || dir < 0 || fsync(dir) != 0) {
            perror(argv[2]);
            return 1;
        }
        close(dir);
    }
    free(text);
    free(pixels);
    return 0;
}
