/* Stream compression: deflate data (RFC 1951) followed by a trailer of the CRC-32 and the
 * length of the uncompressed data (each 4 bytes, least significant first), moved through
 * callbacks so that the data can live anywhere.
 *
 * The compressor's output is fixed to the byte: the same data gives the same stream at the
 * same memory level, however it is split into writes (unless a write of zero bytes comes
 * before the first byte, which ends an empty stream at once).
 *
 * A handle serves one direction and one thread at a time; different handles may be used
 * on different threads at once. Callbacks are called only from inside these functions, on
 * the thread that called them.
 *
 * A write of 2 MiB or more is compressed on several threads: as many as the processors,
 * at most 4, or the number (1 to 64) in the environment variable YDR_GZ_THREADS when the
 * stream is opened. The stream, and the callback's calls during each write, are the same
 * as on one thread. */
#ifndef YDR_GZ_H
#define YDR_GZ_H

#include "ydr/api.h"

typedef struct YdrGZStream *YDRGZ;

/* Must write `count` bytes; returns the number written. 0 or -1 is a failure, and the
 * bytes offered are dropped; a smaller positive count keeps the rest for the next call.
 * The writer offers 4096 bytes at a time (the last piece of a stream smaller). */
typedef int (*YDRGZ_WRITE_FUNC)(YDRGZ stream, void *user, const void *buffer, int count);
/* Fills up to `count` bytes (the reader asks for up to 4096); returns the number read,
 * 0 at the end of the data, -1 on failure (taken as the end of the data). */
typedef int (*YDRGZ_READ_FUNC)(YDRGZ stream, void *user, void *buffer, int count);

/* Memory levels: 0 (and any other value) a 4 KiB window, 1 an 8 KiB window, 2 a 64 KiB
 * window (matches reach back at most 32 KiB). A stream must be read at a level at least
 * as large as the one it was written at. */
enum { YDR_GZ_MEM_SMALL = 0, YDR_GZ_MEM_MEDIUM = 1, YDR_GZ_MEM_LARGE = 2 };

YDR_EXTERN_C_BEGIN

/* Opens a stream for writing. Null when the callback is null or memory runs out. */
YDR_API YDRGZ YdrGZOpenWriteOfCustomMem(YDRGZ_WRITE_FUNC write, void *user, int memLevel);
YDR_API YDRGZ YdrGZOpenWrite(YDRGZ_WRITE_FUNC write, void *user);

/* Compresses `count` bytes of `data`; count -1 ends the input (the final block is written).
 * The caller's buffer is not referred to after the call. Returns `count`; -1 for a null
 * handle, a null `data` with a positive count, or a count below -1. A failing write
 * callback loses output but is not reported here. */
YDR_API int YdrGZWrite(YDRGZ stream, const void *data, int count);

/* Ends the input, writes the trailer, hands out the last bytes and frees the handle.
 * 0; -1 for a null handle. */
YDR_API int YdrGZCloseWrite(YDRGZ stream);

/* Opens a stream for reading. Null when the callback is null or memory runs out. */
YDR_API YDRGZ YdrGZOpenReadOfCustomMem(YDRGZ_READ_FUNC read, void *user, int memLevel);
YDR_API YDRGZ YdrGZOpenRead(YDRGZ_READ_FUNC read, void *user);

/* Decompresses up to `count` bytes into `buffer`, all of which it may write (bytes past
 * those it returns hold nothing). Returns the number delivered (the whole
 * count unless the stream ends first), 0 at the end of the stream, -1 for corrupt data,
 * data that ends before the stream does, or a null handle; when data turns out corrupt
 * after some bytes were delivered in the same call, those are returned first and the next
 * call returns -1. After -1 the handle is good only for closing. A null `buffer` resets
 * the decoder to the start of a stream and returns 0. */
YDR_API int YdrGZRead(YDRGZ stream, void *buffer, int count);

/* Checks the trailer and frees the handle. -1 when the CRC-32 or the length of the bytes
 * delivered does not match the trailer (or for a null handle); otherwise the number of
 * source bytes read ahead beyond the trailer. A reader closed inside a block with its
 * own code tables is freed without a check (0). After a read has returned -1, the result
 * of closing (which may be 0 or a count) says nothing more: the read reported the fault. */
YDR_API int YdrGZCloseRead(YDRGZ stream);

/* CRC-32 (ISO 3309, as zlib and gzip compute it). With null `data`, resets the caller's
 * register `*crc` and returns 0; otherwise runs the bytes through it and returns the CRC of
 * everything since the reset. */
YDR_API unsigned int YdrGZUpdateCRC(unsigned int *crc, const void *data, unsigned int count);

YDR_EXTERN_C_END

#endif /* YDR_GZ_H */
