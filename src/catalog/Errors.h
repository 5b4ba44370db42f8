// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace stowmere::catalog {

/// A command refused by a rule about backup sets; what() is the program's own message, as
/// the window's information box shows it.
class RuleRefusal : public std::runtime_error {
public:
    /// The field of the editor the refusal is about, so the focus can go there.
    enum class Field { None, Description, Destination };

    explicit RuleRefusal(std::string_view message, Field field = Field::None)
        : std::runtime_error(std::string(message)), m_field(field)
    {
    }
    Field field() const { return m_field; }

private:
    Field m_field;
};

/// Nothing can be changed because a table file could not be read when the catalog was
/// opened: saving the other table would break the link between sets and their paths.
class ChangesRefused : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

/// Another program held the table files' lock for the whole wait.
class TablesBusy : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

/// A table file could not be read or written; what() names the file and the reason.
class TableFileError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

} // namespace stowmere::catalog
