/* The archive container: packs files and folder trees into one archive file ("YdrZip 1.0")
 * and unpacks all, some or one of its members again. Each member is compressed on its own
 * with the stream compressor (ydr/gz.h).
 *
 * C++ only; compiled as C this header declares nothing. An object is used by one thread at
 * a time. Results: 1 or 0 (or a count); what failed is in the error list (GetErrorMask). */
#ifndef YDR_ZIP_H
#define YDR_ZIP_H

#include "ydr/api.h"

#ifdef __cplusplus
#include <cstdio>
#include <string>
#include <vector>

typedef std::basic_string<unsigned short> YdrWString;

/* One member; flag: YDR_ZIP_FLAG_... below, anything else invalid. */
struct tagYdrZipChildFileInfo {
  unsigned char flag;
  unsigned int compressedLength;
  unsigned int dataOffset;
  unsigned int nameOffset;
  YdrWString name;
};

/* One recorded failure. index: the member's, or -1 for the archive as a whole. */
struct tagYdrZipErrorList {
  unsigned int code;
  int index;
  YdrWString name;
};

/* Extraction option bits. */
enum { YDR_ZIP_FLAT = 1 }; /* every member straight into the destination, folders dropped */

/* Member flags (tagYdrZipChildFileInfo::flag, and the byte in the file). */
enum {
  YDR_ZIP_FLAG_LISTED = 0xFF,  /* listed for packing, not yet packed (in memory only) */
  YDR_ZIP_FLAG_PACKED = 1,     /* its data is in the archive */
  YDR_ZIP_FLAG_NOT_PACKED = 2, /* it could not be packed: no data */
  YDR_ZIP_FLAG_FOLDER = 3,     /* a folder: no data; unpacking makes it */
  YDR_ZIP_FLAG_REMOVED = 4     /* passed over when unpacking (in memory only) */
};                             /* any other value: invalid */

/* Error codes (tagYdrZipErrorList::code; GetErrorMask ORs them). The top four bits tell the
 * phase: making the archive, packing a member, opening an archive, unpacking a member. */
enum {
  YDR_ZIP_ERROR_CREATE_ARCHIVE = 0x1000,     /* the archive cannot be created */
  YDR_ZIP_ERROR_OPEN_SOURCE = 0x2000,        /* a source cannot be read (or its name is empty or
                                                longer than 259 units, or it would pass 4 GiB) */
  YDR_ZIP_ERROR_SEARCH_FOLDER = 0x2001,      /* a folder cannot be searched */
  YDR_ZIP_ERROR_START_COMPRESSOR = 0x2002,   /* a member's compressor cannot be started */
  YDR_ZIP_ERROR_OPEN_ARCHIVE = 0x4000,       /* the archive cannot be opened */
  YDR_ZIP_ERROR_SIGNATURE = 0x4001,          /* it is not an archive */
  YDR_ZIP_ERROR_INVALID_MEMBER = 0x8000,     /* a member's flag is invalid */
  YDR_ZIP_ERROR_MAKE_FOLDERS = 0x8001,       /* a member's folders (or the folder member) cannot be
                                                made, or its output path would pass 259 units */
  YDR_ZIP_ERROR_START_DECOMPRESSOR = 0x8002, /* a member's decompressor cannot be started */
  YDR_ZIP_ERROR_NEVER_PACKED = 0x8003,       /* a member was never packed */
  YDR_ZIP_ERROR_CREATE_OUTPUT = 0x8004       /* a member's output file cannot be created */
};

class YDR_API CYdrZIP {
 public:
  CYdrZIP();
  /* Copies the options, the archive path and the enumeration cursor, and both lists (as
   * records of its own); the copy holds no open archive. */
  CYdrZIP(const CYdrZIP &other);
  CYdrZIP &operator=(const CYdrZIP &other);
  virtual ~CYdrZIP();

  /* Packs the paths (a path ending in '\' or '/' is a folder, packed with its whole tree)
   * into archivePath. 1 when the archive was written and every file was packed; 0 when the
   * object was not empty, the archive could not be made, or a member failed. */
  int CompressZIP(const unsigned short **paths, unsigned int count, const unsigned short *archivePath);
  int CompressZIP(std::vector<YdrWString> &paths, const unsigned short *archivePath);

  /* Reads an archive's member list and keeps the archive open for the Extract calls.
   * 1 on success; 0 when the object was not empty or the archive cannot be read. */
  int Open(const unsigned short *archivePath);
  /* Reads and unpacks a whole archive. destDir null or empty: members go to the absolute
   * form of their stored names; otherwise under destDir, never outside it. 1 when every
   * member was unpacked. */
  int DecompressZIP(const unsigned short *archivePath, const unsigned short *destDir, unsigned int options);
  int ExtractFileList(const unsigned short *destDir, unsigned int options); /* all, after Open */
  int ExtractFile(const unsigned short *pattern, const unsigned short *destDir, unsigned int options); /* count */
  int ExtractFileByIndex(int index, const unsigned short *destDir, unsigned int options);

  void Clear(); /* empties both lists and closes the archive */
  void Close(); /* the same */

  int EnumFileName(); /* member count, 0 when empty */
  int GetNextFileName(unsigned short *buffer,
                      unsigned int size); /* size in units; index, -1 at the end, -2 too small */
  int GetNextFileNameW(unsigned short *buffer, unsigned int size); /* size in bytes */
  int ChangeFileListFlag(const unsigned short *pattern, int flag); /* members changed */
  int RemoveFileList(const unsigned short *pattern);               /* flag 4 */
  unsigned int GetErrorMask();

  /* Read-only views for hosts and tools. */
  int GetMemberCount() const;
  const tagYdrZipChildFileInfo *GetMember(int index) const; /* null when out of range */
  int GetErrorCount() const;
  const tagYdrZipErrorList *GetError(int index) const;

 private:
  static int IsMatchedFile(const unsigned short *pattern, const unsigned short *name);
  void _AddError(int code, int index);
  int _Compress();
  void _AddFileFromDir();
  void _RemakeFileList();
  long _FindAllFile(const unsigned short *dir);
  long _MakeHeader(FILE *archive);
  int _CompressFile(tagYdrZipChildFileInfo *member, FILE *archive);
  int _RewriteChildFileInfo(FILE *archive);
  long _ReadHeader(FILE *archive);
  int _Decompress(FILE *archive, const unsigned short *destDir);
  long _DecompressFile(tagYdrZipChildFileInfo *member, FILE *archive, const unsigned short *destDir);
  YDR_INTERNAL void CopyFrom(const CYdrZIP &other);

  std::vector<tagYdrZipErrorList *> errors_;
  unsigned int options_;
  YdrWString archive_path_;
  FILE *archive_; /* the archive kept open by Open */
  int cursor_;
  std::vector<tagYdrZipChildFileInfo *> members_;
};

#endif /* __cplusplus */

#endif /* YDR_ZIP_H */
