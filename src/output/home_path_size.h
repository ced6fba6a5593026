// The room of a path in the home folder (HomePath, CopyHomePath).
#pragma once

const int kHomePathBufferSize = 512;
