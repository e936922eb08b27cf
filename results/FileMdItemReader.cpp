#include "results/FileMdItemReader.h"

#include <QPdfDocument>
#include <QRegularExpression>

#include "platform/metadata/KZHeaderReadDevice.h"

using kzplatform::KZMetadataContentReader;
using kzplatform::KZMetadataItem;

namespace {

bool isPdf(const QString &mimeType)
{
    return mimeType == QLatin1String("application/pdf");
}

void readPdf(int fd, KZMetadataItem &item)
{
    // A damaged PDF makes the engine scan the whole file for its objects: the
    // device stops giving bytes at the budget, and the document then fails.
    kzplatform::KZHeaderReadDevice device(fd, KZMetadataItem::readBudget);
    QPdfDocument document;
    document.load(&device);
    if (document.status() != QPdfDocument::Status::Ready || document.pageCount() < 1)
        return;
    using Field = QPdfDocument::MetaDataField;
    const auto text = [&](Field f) { return document.metaData(f).toString(); };
    item.setString(QStringLiteral("kMDItemTitle"), text(Field::Title));
    item.setStringList(QStringLiteral("kMDItemAuthors"), {text(Field::Author)});
    item.setString(QStringLiteral("kMDItemSubject"), text(Field::Subject));
    item.setStringList(QStringLiteral("kMDItemKeywords"),
                       text(Field::Keywords).split(QRegularExpression(QStringLiteral("[,;]"))));
    item.setStringList(QStringLiteral("kMDItemEncodingApplications"), {text(Field::Creator), text(Field::Producer)});
    item.setDate(QStringLiteral("kMDItemContentCreationDate"), document.metaData(Field::CreationDate).toDateTime());
    item.setDate(QStringLiteral("kMDItemContentModificationDate"),
                 document.metaData(Field::ModificationDate).toDateTime());
    item.setInteger(QStringLiteral("kMDItemNumberOfPages"), document.pageCount());
    const QSizeF page = document.pagePointSize(0);
    if (page.width() > 0 && page.height() > 0) {
        item.setNumber(QStringLiteral("kMDItemPageWidth"), page.width());
        item.setNumber(QStringLiteral("kMDItemPageHeight"), page.height());
    }
}

} // namespace

KZMetadataContentReader FileMdItemReader::pdfReader()
{
    return KZMetadataContentReader{&isPdf, &readPdf};
}

std::optional<KZMetadataItem> FileMdItemReader::read(const QString &path, bool followLink)
{
    return KZMetadataItem::read(path, followLink, {pdfReader()});
}
