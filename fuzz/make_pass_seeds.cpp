// Writes seed inputs for fuzz_pass: each configuration file given is loaded and written out in
// the byte form that fuzz_pass reads back as that record, with R = 8 and a zero report buffer,
// and once more with R = 1 and R = 64. Checks that each seed reads back as the same record.
//
//   make_pass_seeds OUTPUT_FOLDER FILE.ini...

#include "ConfigurationLoader.h"
#include "PassInput.h"

#include <QFile>
#include <QFileInfo>

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER FILE.ini...\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    int status = 0;
    for (int i = 2; i < argc; ++i) {
        const QString path = QString::fromLocal8Bit(argv[i]);
        fuzz::PassInput input;
        if (loadConfiguration(path, input.record) != LoadStatus::Loaded) {
            std::fprintf(stderr, "%s: cannot load\n", argv[i]);
            status = 1;
            continue;
        }
        for (int r : {8, 1, 64}) {
            input.r = r;
            input.buffer.assign(9, 0);
            fuzz::InputWriter out;
            if (!fuzz::writePassInput(input, out)) {
                std::fprintf(stderr, "%s: values outside the fuzzer's ranges\n", argv[i]);
                status = 1;
                break;
            }
            fuzz::InputReader in(out.bytes().data(), out.bytes().size());
            const fuzz::PassInput back = fuzz::readPassInput(in);
            if (back.record != input.record || back.r != r || back.buffer != input.buffer) {
                std::fprintf(stderr, "%s: seed does not read back as the record\n", argv[i]);
                status = 1;
                break;
            }
            const QString name = QStringLiteral("%1/%2-r%3.bin")
                                         .arg(folder, QFileInfo(path).completeBaseName())
                                         .arg(r);
            QFile file(name);
            if (!file.open(QIODevice::WriteOnly)
                || file.write(reinterpret_cast<const char *>(out.bytes().data()),
                              qint64(out.bytes().size()))
                           != qint64(out.bytes().size())) {
                std::fprintf(stderr, "%s: cannot write\n", qPrintable(name));
                status = 1;
            }
        }
    }
    return status;
}
