#include "player/dialogs/manual_search_dialog.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

namespace koru::player {

namespace {

constexpr int kColumnWidth = 210;
constexpr int kFrequencyLength = 7;
constexpr int kVisibleRows = 8;

}  // namespace

CManualSearch::CManualSearch(QWidget* main_window, ManualSearch& search)
    : QWidget(main_window, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      main_window_(main_window),
      search_(search) {
    setObjectName("CManualSearch");
    setWindowTitle("Manual Search");

    list_ = new QTreeWidget;
    list_->setObjectName(QString::number(control::kManualSearchList));
    list_->setColumnCount(1);
    list_->setHeaderLabels({"Manual Search"});
    list_->header()->setDefaultAlignment(Qt::AlignCenter);
    list_->header()->setStretchLastSection(false);
    list_->setColumnWidth(0, kColumnWidth);
    list_->setRootIsDecorated(false);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    for (const settings::ManualSearchRow& row : ManualSearch::Rows())
        list_->addTopLevelItem(new QTreeWidgetItem(QStringList{QString::fromUtf8(row.label)}));
    const int row_height = list_->sizeHintForRow(0) > 0 ? list_->sizeHintForRow(0) : 18;
    list_->setFixedSize(
        kColumnWidth + list_->frameWidth() * 2 + 18,
        list_->header()->sizeHint().height() + row_height * kVisibleRows + list_->frameWidth() * 2);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] {
        const QList<QTreeWidgetItem*> selected = list_->selectedItems();
        search_.RowDoubleClicked(selected.isEmpty() ? -1
                                                    : list_->indexOfTopLevelItem(selected.front()));
    });

    frequency_ = new QLineEdit;
    frequency_->setObjectName(QString::number(control::kManualSearchFrequency));
    frequency_->setMaxLength(kFrequencyLength);
    go_ = new QPushButton("GO");
    go_->setObjectName(QString::number(control::kManualSearchGo));
    go_->setAutoDefault(false);
    connect(go_, &QPushButton::clicked, this,
            [this] { search_.Go(frequency_->text().toStdString()); });
    connect(frequency_, &QLineEdit::returnPressed, go_, &QPushButton::click);

    auto* field = new QHBoxLayout;
    field->addWidget(new QLabel("Freq"));
    field->addWidget(frequency_, 1);
    field->addWidget(go_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addLayout(field);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    hide();
}

void CManualSearch::ShowWindow() {
    if (!placed_ && main_window_ != nullptr) {
        // Below the main window, their left edges in line; above it when there is no room below.
        adjustSize();
        const QRect main = main_window_->frameGeometry();
        QRect place(main.bottomLeft() + QPoint(0, 8), frameSize());
        const QScreen* screen = main_window_->screen();
        if (screen != nullptr) {
            const QRect area = screen->availableGeometry();
            if (place.bottom() > area.bottom()) place.moveBottom(main.top() - 8);
            place.moveLeft(std::clamp(place.left(), area.left(),
                                      std::max(area.left(), area.right() - place.width())));
            place.moveTop(std::max(place.top(), area.top()));
        }
        move(place.topLeft());
        placed_ = true;
    }
    show();
    raise();
    activateWindow();
    frequency_->setFocus(Qt::OtherFocusReason);
}

void CManualSearch::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        go_->click();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CManualSearch::closeEvent(QCloseEvent* event) {
    // The window has no close box and stays until the program ends.
    event->ignore();
}

}  // namespace koru::player
