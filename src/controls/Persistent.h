// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

/// An object whose settings can be copied from another of a compatible kind.
class TPersistent {
public:
    virtual ~TPersistent() = default;

    /// Copies the settings of source; the base refuses with EConvertError.
    virtual void Assign(const TPersistent& source);
    virtual std::string ClassName() const = 0;

protected:
    TPersistent() = default;
    TPersistent(const TPersistent&) = default;
    TPersistent& operator=(const TPersistent&) = default;
};
