/* Every family of the library's exports. */
#ifndef YDR_YDR_H
#define YDR_YDR_H

#include "ydr/cache.h"
#include "ydr/frame.h"
#include "ydr/gz.h"
#include "ydr/numstr.h"
#include "ydr/plugin.h"
#include "ydr/rsa.h"
#include "ydr/seed.h"
#include "ydr/sha1.h"
#include "ydr/socket.h"
#include "ydr/utf8.h"
#include "ydr/ven.h"
#include "ydr/zip.h"

#endif /* YDR_YDR_H */
