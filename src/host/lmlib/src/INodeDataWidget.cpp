#include "INodeDataWidget.h"

INodeDataWidget::INodeDataWidget(QWidget *parent)
    : QWidget(parent)
{ }

INodeDataWidget::~INodeDataWidget() = default;
