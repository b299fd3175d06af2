/* The library as a module.
 *
 * Loading libYdrBM70.so registers it with the suite's base library (libYdrBL70.so, loaded
 * then, on first use); unloading deregisters it and releases the sibling libraries it
 * loaded. The base library and libcrypto are looked for by the system's search, then in the
 * "Common" folder beside the executable's folder, then in the folder that the registry value
 * "Common Path" names; when neither finds one, "Can't Find module <name>" is shown and the
 * calls that need it fail with their ordinary failure result. */
#ifndef YDR_FRAME_H
#define YDR_FRAME_H

#include "ydr/api.h"

YDR_EXTERN_C_BEGIN

/* Does nothing. A host that calls it links against the library, so that loading the host
 * loads the library and runs its registration. Any thread. */
YDR_API void _LoadYdrBM70DLL(void);

YDR_EXTERN_C_END

#endif /* YDR_FRAME_H */
