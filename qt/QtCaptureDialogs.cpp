#include "qt/QtCaptureDialogs.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace {

// OK and Cancel at the bottom of dialog, below content.
void finish(QDialog& dialog, QLayout* content) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(content);
    layout->addWidget(buttons);
}

QString titleFor(const std::string& device, const char* dialog) {
    return QString::fromStdString(device) + QStringLiteral(" - ") + QLatin1String(dialog);
}

} // namespace

QtCaptureDialogs::QtCaptureDialogs(std::function<QWidget*()> owner)
    : owner_(std::move(owner)) {}

QWidget* QtCaptureDialogs::currentOwner() const {
    return owner_ ? owner_() : nullptr;
}

std::optional<std::size_t> QtCaptureDialogs::chooseFrameSize(const std::string& device,
                                                             const std::vector<FrameSize>& sizes,
                                                             std::size_t current) {
    QDialog dialog(currentOwner());
    dialog.setWindowTitle(titleFor(device, "Video Format"));
    auto* list = new QListWidget;
    list->setObjectName("frameSizes");
    for (const FrameSize& size : sizes) {
        list->addItem(QStringLiteral("%1 x %2").arg(size.width).arg(size.height));
    }
    if (current < sizes.size()) {
        list->setCurrentRow(static_cast<int>(current));
    }
    QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    auto* content = new QVBoxLayout;
    content->addWidget(new QLabel(QStringLiteral("Image size:")));
    content->addWidget(list);
    finish(dialog, content);
    if (dialog.exec() != QDialog::Accepted || list->currentRow() < 0) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(list->currentRow());
}

std::optional<std::vector<std::int32_t>>
QtCaptureDialogs::editControls(const std::string& device,
                               const std::vector<CameraControl>& controls) {
    QDialog dialog(currentOwner());
    dialog.setWindowTitle(titleFor(device, "Video Source"));
    auto* form = new QFormLayout;
    std::vector<QSpinBox*> boxes;
    for (const CameraControl& control : controls) {
        auto* slider = new QSlider(Qt::Horizontal);
        auto* box = new QSpinBox;
        const int step = std::max(control.step, 1);
        slider->setRange(control.minimum, control.maximum);
        slider->setSingleStep(step);
        slider->setValue(control.value);
        box->setRange(control.minimum, control.maximum);
        box->setSingleStep(step);
        box->setValue(control.value);
        QObject::connect(slider, &QSlider::valueChanged, box, &QSpinBox::setValue);
        QObject::connect(box, &QSpinBox::valueChanged, slider, &QSlider::setValue);
        auto* row = new QHBoxLayout;
        row->addWidget(slider, 1);
        row->addWidget(box);
        form->addRow(QString::fromStdString(control.name), row);
        boxes.push_back(box);
    }
    finish(dialog, form);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    std::vector<std::int32_t> values;
    for (const QSpinBox* box : boxes) {
        values.push_back(box->value());
    }
    return values;
}
