// make_files FOLDER COUNT LIST
// Writes COUNT small MP3-like files with 128-byte ID3v1 trailers into FOLDER
// (which must exist and be empty): a third with ASCII tags, two thirds with
// Shift-JIS (code page 932) tags full of trail bytes 0x5C ("ソ", "表", "能",
// "予", "十", ...). LIST receives one line per file, "OLD<TAB>NEW", in UTF-8,
// where NEW is the name that the rule "$T($A).mp3" gives: every new name is
// different from every old one and from every other new one, so a rename of
// the folder never asks whether to overwrite. Numbers are zero-padded to the
// width of COUNT (at least 4 digits), so the names sort in file order.
// Each file also begins with an ID3v2.3 tag holding the same title, artist
// and album in UTF-16, as Windows rippers write them, and 1 KiB of padding:
// with "ID3v2 も使う" on they are read and agree with the trailer, so the
// names stay the same.
#include <errno.h>
#include <fcntl.h>
#include <iconv.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static const char* const kAsciiTitles[] = {"Morning Light", "Night Drive", "Blue Coast",
                                           "Paper Moon", "Slow River"};
static const char* const kAsciiArtists[] = {"Blue Harbor", "The Lanterns", "Kei Mori"};
// Each holds at least one character whose second byte in CP932 is 0x5C;
// "ポ" has 0x7C, half-width katakana are single bytes.
static const char* const kJapaneseTitles[] = {"ソラの表",   "能力予報", "十色の申し子",
                                              "貼り紙と噂", "構図の欺き", "暴風ポルカ",
                                              "ｿﾌﾄな表情",  "蚕の予感"};
static const char* const kJapaneseArtists[] = {"青葉ミナト", "ｶﾜｾ ﾕｳ", "十条ソラ", "能登表子",
                                               "予科練バンド"};

#define COUNT_OF(a) (sizeof(a) / sizeof((a)[0]))

static iconv_t toCp932, toUtf16;

// An ID3v2.3 text frame in UTF-16 with a byte-order mark; its length.
static size_t TextFrame(unsigned char* out, const char* id, const char* utf8) {
  char text[256];
  char* in = (char*)utf8;
  size_t inLeft = strlen(utf8);
  char* dst = text;
  size_t dstLeft = sizeof text;
  iconv(toUtf16, NULL, NULL, NULL, NULL);
  if (iconv(toUtf16, &in, &inLeft, &dst, &dstLeft) == (size_t)-1 || inLeft != 0) {
    fprintf(stderr, "make_files: cannot write \"%s\" in UTF-16\n", utf8);
    exit(1);
  }
  const size_t n = sizeof text - dstLeft, size = 3 + n;
  memcpy(out, id, 4);
  out[4] = (unsigned char)(size >> 24);
  out[5] = (unsigned char)(size >> 16);
  out[6] = (unsigned char)(size >> 8);
  out[7] = (unsigned char)size;
  out[8] = out[9] = 0;
  out[10] = 1;  // UTF-16
  out[11] = 0xFF;
  out[12] = 0xFE;
  memcpy(out + 13, text, n);
  return 10 + size;
}

// The whole ID3v2.3 tag; its length.
static size_t Id3v2Tag(unsigned char* out, const char* title, const char* artist,
                       const char* album) {
  size_t n = 10;
  n += TextFrame(out + n, "TIT2", title);
  n += TextFrame(out + n, "TPE1", artist);
  n += TextFrame(out + n, "TALB", album);
  memset(out + n, 0, 1024);
  n += 1024;
  const size_t size = n - 10;
  memcpy(out, "ID3\3\0\0", 6);
  out[6] = (unsigned char)((size >> 21) & 0x7F);
  out[7] = (unsigned char)((size >> 14) & 0x7F);
  out[8] = (unsigned char)((size >> 7) & 0x7F);
  out[9] = (unsigned char)(size & 0x7F);
  return n;
}

// UTF-8 to CP932 into `out` (at most `width` bytes, checked).
static size_t Cp932(const char* utf8, char* out, size_t width) {
  char* in = (char*)utf8;
  size_t inLeft = strlen(utf8);
  char* dst = out;
  size_t dstLeft = width;
  iconv(toCp932, NULL, NULL, NULL, NULL);
  if (iconv(toCp932, &in, &inLeft, &dst, &dstLeft) == (size_t)-1 || inLeft != 0) {
    fprintf(stderr, "make_files: cannot write \"%s\" in %zu bytes of CP932\n", utf8, width);
    exit(1);
  }
  return width - dstLeft;
}

// A field of the trailer: the text, then NULs or spaces to the width.
static void Field(unsigned char* trailer, size_t offset, size_t width, const char* utf8,
                  char pad) {
  char text[64];
  const size_t n = Cp932(utf8, text, width);
  memcpy(trailer + offset, text, n);
  memset(trailer + offset + n, pad, width - n);
}

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: %s FOLDER COUNT LIST\n", argv[0]);
    return 2;
  }
  const char* folder = argv[1];
  const int count = atoi(argv[2]);
  if (count <= 0 || count > 999999) {
    fprintf(stderr, "make_files: COUNT must be 1..999999\n");
    return 2;
  }
  const int digits = count >= 100000 ? 6 : count >= 10000 ? 5 : 4;
  FILE* list = fopen(argv[3], "w");
  if (list == NULL) {
    perror(argv[3]);
    return 1;
  }
  toCp932 = iconv_open("CP932", "UTF-8");
  if (toCp932 == (iconv_t)-1) {
    perror("iconv_open CP932");
    return 1;
  }
  toUtf16 = iconv_open("UTF-16LE", "UTF-8");
  if (toUtf16 == (iconv_t)-1) {
    perror("iconv_open UTF-16LE");
    return 1;
  }

  // A few silent MPEG-1 Layer III frame headers stand in for the audio.
  unsigned char body[4096];
  memset(body, 0, sizeof body);
  for (size_t i = 0; i + 4 <= sizeof body; i += 417) {
    body[i] = 0xFF;
    body[i + 1] = 0xFB;
    body[i + 2] = 0x90;
    body[i + 3] = 0x64;
  }

  for (int i = 0; i < count; ++i) {
    const int ascii = i % 3 == 0;
    char title[128], artist[128], oldName[256], path[4096];
    if (ascii) {
      snprintf(title, sizeof title, "%s %0*d", kAsciiTitles[i % COUNT_OF(kAsciiTitles)], digits,
               i + 1);
      snprintf(artist, sizeof artist, "%s", kAsciiArtists[i % COUNT_OF(kAsciiArtists)]);
      snprintf(oldName, sizeof oldName, "%0*d track.mp3", digits, i + 1);
    } else {
      snprintf(title, sizeof title, "%s %0*d", kJapaneseTitles[i % COUNT_OF(kJapaneseTitles)],
               digits, i + 1);
      snprintf(artist, sizeof artist, "%s", kJapaneseArtists[i % COUNT_OF(kJapaneseArtists)]);
      snprintf(oldName, sizeof oldName, "%0*d 曲.mp3", digits, i + 1);
    }
    unsigned char trailer[128];
    memset(trailer, 0, sizeof trailer);
    memcpy(trailer, "TAG", 3);
    const char pad = ascii ? ' ' : '\0';
    Field(trailer, 3, 30, title, pad);
    Field(trailer, 33, 30, artist, pad);
    const char* album = ascii ? "Coastline" : "春の記憶";
    Field(trailer, 63, 30, album, pad);
    Field(trailer, 93, 4, "2003", pad);
    Field(trailer, 97, 30, "", pad);
    trailer[127] = 13;

    snprintf(path, sizeof path, "%s/%s", folder, oldName);
    unsigned char head[2048];
    const size_t headSize = Id3v2Tag(head, title, artist, album);
    const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 || write(fd, head, headSize) != (ssize_t)headSize ||
        write(fd, body, sizeof body) != (ssize_t)sizeof body ||
        write(fd, trailer, sizeof trailer) != (ssize_t)sizeof trailer || close(fd) != 0) {
      fprintf(stderr, "make_files: %s: %s\n", path, strerror(errno));
      return 1;
    }
    fprintf(list, "%s\t%s(%s).mp3\n", oldName, title, artist);
  }
  if (fclose(list) != 0) {
    perror(argv[3]);
    return 1;
  }
  return 0;
}
