// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/Field.h"

#include "store/StoreError.h"
#include "store/Table.h"

namespace stowmere::store {

const FieldDef& Field::def() const
{
    return m_table->m_fields[m_index];
}

bool Field::isNull() const
{
    return !m_table->currentValue(m_index).has_value();
}

std::string Field::asString() const
{
    const auto value = m_table->currentValue(m_index);
    return value ? valueToText(def(), *value) : std::string();
}

std::int64_t Field::asInteger() const
{
    const auto value = m_table->currentValue(m_index);
    return value ? valueToInteger(def(), *value) : 0;
}

void Field::setAsString(std::string_view text)
{
    m_table->checkEditing();
    m_table->setCurrentValue(m_index, valueFromText(def(), text));
}

void Field::setAsInteger(std::int64_t value)
{
    m_table->checkEditing();
    m_table->setCurrentValue(m_index, valueFromInteger(def(), value));
}

void Field::clear()
{
    m_table->checkEditing();
    m_table->setCurrentValue(m_index, std::nullopt);
}

} // namespace stowmere::store
