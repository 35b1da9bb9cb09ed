#include "app/icon_templates.h"

#include <QFile>

#include <string>

namespace quillmark {

Text iconTemplateList() {
  QFile file(QStringLiteral(":/quillmark/icon-templates.txt"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QByteArray bytes = file.readAll();
  return Text(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
}

}  // namespace quillmark
