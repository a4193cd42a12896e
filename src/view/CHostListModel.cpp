#include "view/CHostListModel.h"

namespace {

const char* const kHeaders[CHostListModel::kColumnCount] = {"Addresses", "ttl", "time(ms)",
                                                            "bytes"};

}  // namespace

CHostListModel::CHostListModel(QObject* parent) : QAbstractTableModel(parent) {}

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

int CHostListModel::InsertRow(const std::string& text, uint32_t address,
                              const sondrel::ResultColumns& results) {
    // The view must be told where the row lands before it is inserted.
    int row = static_cast<int>(m_rows.InsertionPoint(text));
    beginInsertRows(QModelIndex(), row, row);
    size_t at = m_rows.Insert(sondrel::ListRow{text, results, address});
    endInsertRows();
    return static_cast<int>(at);
}

void CHostListModel::RemoveRowAt(int row) {
    if (row < 0 || row >= Count()) return;
    beginRemoveRows(QModelIndex(), row, row);
    m_rows.Erase(static_cast<size_t>(row));
    endRemoveRows();
}

void CHostListModel::RemoveAll() {
    if (m_rows.Empty()) return;
    beginResetModel();
    m_rows.Clear();
    endResetModel();
}

void CHostListModel::SetResults(int row, const sondrel::ResultColumns& results) {
    if (row < 0 || row >= Count()) return;
    m_rows.At(static_cast<size_t>(row)).results = results;
    emit dataChanged(index(row, 1), index(row, kColumnCount - 1), {Qt::DisplayRole});
}
