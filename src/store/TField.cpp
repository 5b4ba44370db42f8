// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/TField.h"

#include "store/StoreError.h"
#include "store/TDataTable.h"

namespace stowmere::store {

const FieldDef& TField::Def() const
{
    return m_table->m_fields[m_index];
}

bool TField::IsNull() const
{
    return !m_table->currentValue(m_index).has_value();
}

std::string TField::AsString() const
{
    const auto value = m_table->currentValue(m_index);
    return value ? valueToText(Def(), *value) : std::string();
}

std::int64_t TField::AsInteger() const
{
    const auto value = m_table->currentValue(m_index);
    return value ? valueToInteger(Def(), *value) : 0;
}

void TField::SetAsString(std::string_view text)
{
    m_table->checkEditing();
    m_table->setCurrentValue(m_index, valueFromText(Def(), text));
}

void TField::SetAsInteger(std::int64_t value)
{
    m_table->checkEditing();
    m_table->setCurrentValue(m_index, valueFromInteger(Def(), value));
}

void TField::Clear()
{
    m_table->checkEditing();
    m_table->setCurrentValue(m_index, std::nullopt);
}

} // namespace stowmere::store
