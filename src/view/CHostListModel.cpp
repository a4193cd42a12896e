#include "view/CHostListModel.h"

namespace {

const char* const kHeaders[CHostListModel::kColumnCount] = {"Addresses", "ttl", "time(ms)",
                                                            "bytes"};

}  // namespace

CHostListModel::CHostListModel(const sondrel::RowStore& rows, QObject* parent)
    : QAbstractTableModel(parent), m_rows(rows) {}

int CHostListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.Size());
}

int CHostListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CHostListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= Count()) return {};
    if (role == Qt::DisplayRole || (role == Qt::ToolTipRole && index.column() == 0)) {
        return QString::fromStdString(Text(index.row(), index.column()));
    }
    return {};
}

QVariant CHostListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
    if (role == Qt::DisplayRole) return QString::fromLatin1(kHeaders[section]);
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

void CHostListModel::ResultsChanged(int first, int last) {
    emit dataChanged(index(first, 1), index(last, kColumnCount - 1), {Qt::DisplayRole});
}
