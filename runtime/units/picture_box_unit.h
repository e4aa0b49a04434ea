// The picture box: a window of the runtime's own class "_ZR_PicBox" showing a
// decoded picture at natural size, stretched, or fitted and centred. An
// animated picture is advanced by a worker that shares a busy flag with the
// painter.
#pragma once

#include "runtime/forms/unit_types.h"

UnitOperation PictureBoxInterface(int32_t code);
