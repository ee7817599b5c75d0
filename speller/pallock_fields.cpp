#include "pallock_fields.h"

std::optional<std::vector<int>> ParseLeads(const QString& text, const LeadNames& names) {
    return ParseLeadList(text.toStdString(), names);
}

QString FormatLeads(const std::vector<int>& leads, const LeadNames& names) {
    return QString::fromStdString(FormatLeadList(leads, names));
}
