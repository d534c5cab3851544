// Pieces of the file layer shared by its source files only: the fault hook,
// the last-error cell and the path conversion.
#pragma once

#include "fs/file_layer.h"

namespace ordx::fsinternal {

bool HookSet();
// The file a descriptor names (for the hook and for failure reports).
WideString HandlePath(Handle handle);
ErrorCode Fault(FileOp op, const WideString& path);
ErrorCode FailWith(ErrorCode code);
// Records errno and path for this thread and fails with the errno's code.
ErrorCode FailErrno(int err, const WideString& path);
bool ToSystemPath(const WideString& path, NarrowString* out);
// Empties the directory open as `fd` (taken over), never following a link.
void RemoveContents(int fd);

}  // namespace ordx::fsinternal
