#include "common/textinput.h"

#include <QFile>
#include <QFileInfo>
#include <QTextCodec>

namespace ardentis
{

TextInput read_text_input(const QString &path)
{
    TextInput input;
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        input.problem = QStringLiteral("it is not a readable file");
        input.unreadable = true;
        return input;
    }
    if (file.size() > max_text_input_bytes) {
        input.problem = QStringLiteral("it is larger than %1 MB").arg(max_text_input_bytes >> 20);
        return input;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        input.problem = QStringLiteral("it cannot be read");
        input.unreadable = true;
        return input;
    }
    if (bytes.contains('\0')) {
        input.problem = QStringLiteral("it is not a text file (UTF-16 or binary)");
        return input;
    }
    input.text = bytes.toStdString();
    return input;
}

std::string_view without_byte_order_mark(std::string_view text)
{
    static constexpr std::string_view bom = "\xEF\xBB\xBF";
    return text.substr(0, bom.size()) == bom ? text.substr(bom.size()) : text;
}

bool is_utf8(std::string_view text)
{
    QTextCodec::ConverterState state;
    QTextCodec::codecForName("UTF-8")->toUnicode(text.data(), int(text.size()), &state);
    // A character cut short at the end waits in the state for more bytes.
    return state.invalidChars == 0 && state.remainingChars == 0;
}

QString escaped_bytes(std::string_view bytes)
{
    QString text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7f || c == '%')
            text += QStringLiteral("%%1").arg(uint(byte), 2, 16, QLatin1Char('0')).toUpper();
        else
            text += QLatin1Char(c);
    }
    return text;
}

} // namespace ardentis
