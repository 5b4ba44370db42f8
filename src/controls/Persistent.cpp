// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/Persistent.h"

#include "controls/EConvertError.h"

void TPersistent::Assign(const TPersistent& source)
{
    throw EConvertError("Cannot assign a " + source.ClassName() + " to a " + ClassName());
}
