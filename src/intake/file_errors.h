// Why a file call failed, in the few words the tool's messages use ("no such file", "is a folder").
#pragma once

#include <QString>

namespace folivane {

// The reason for the C library error number `error` (errno), lower case, for "cannot read X: ...".
QString FileErrorReason(int error);

}  // namespace folivane
