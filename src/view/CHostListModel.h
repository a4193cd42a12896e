#pragma once
// The rows of the main list behind its table view: four columns ("Addresses", "ttl",
// "time(ms)", "bytes") over the session's rows, which it reads and never changes. The view
// passes on the session's announcements of row changes.
#include <QAbstractTableModel>
#include <string>
#include <string_view>

#include "session/RowStore.h"

class QTableView;

class CHostListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    static constexpr int kColumnCount = 4;

    CHostListModel(const sondrel::RowStore& rows, QObject* parent);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The first row whose text matches ignoring case, or -1.
    int FindRow(std::string_view text) const { return m_rows.Find(text); }
    int Count() const { return static_cast<int>(m_rows.Size()); }
    std::string Text(int row, int column) const {
        return m_rows.Column(static_cast<size_t>(row), column);
    }
    uint32_t Address(int row) const { return m_rows.At(static_cast<size_t>(row)).address; }

    // The session's row changes, before and after.
    void BeginInsert(int row) { beginInsertRows(QModelIndex(), row, row); }
    void EndInsert() { endInsertRows(); }
    void BeginRemove(int row) { beginRemoveRows(QModelIndex(), row, row); }
    void EndRemove() { endRemoveRows(); }
    void BeginReset() { beginResetModel(); }
    void EndReset() { endResetModel(); }
    void ResultsChanged(int first, int last);

private:
    const sondrel::RowStore& m_rows;
};

// The look and behaviour of the main list's table: rows selected whole, no grid, no row
// numbers, green on black.
void StyleHostList(QTableView* list);
