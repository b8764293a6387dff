#include "ui/results_saving.h"

#include <QFile>

#include <cerrno>
#include <sys/stat.h>

#include "platform/atomic_file.h"

ResultsSaveOutcome SaveResultsAs(exports::ResultsForm form, const exports::ExportContent& content,
                                 const QString& szPath, char separator) {
    const std::string path = QFile::encodeName(szPath).toStdString();
    struct stat st;
    const ReplacePolicy policy =
        lstat(path.c_str(), &st) == 0 ? ReplacePolicy::Replace : ReplacePolicy::KeepExisting;
    const FileStatus target = CheckNewFileTarget(path, policy);
    if (!target.Ok())
        return {false, QStringLiteral("Файл нельзя сохранить здесь:\n%1\n%2\n"
                                      "Выберите другую папку или другое имя.")
                           .arg(szPath, QString::fromStdString(target.Reason()))};

    const WriteOutcome outcome = exports::WriteResultsForm(form, content, path, separator, policy);
    if (outcome.ok)
        return {true, {}};
    if (outcome.error == EEXIST && policy == ReplacePolicy::KeepExisting)
        return {false, QStringLiteral("Файл\n%1\nпоявился, пока шла запись, и не заменён.\n"
                                      "Выберите другое имя.")
                           .arg(szPath)};
    const QString szKept =
        policy == ReplacePolicy::Replace ? QStringLiteral("Прежний файл не изменён.\n") : QString();
    return {false, QStringLiteral("Не удалось записать файл\n%1\n%2\n%3Выберите другое место.")
                       .arg(szPath, QString::fromStdString(outcome.reason), szKept)};
}
