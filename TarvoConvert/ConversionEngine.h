#pragma once

#include "ConversionRequest.h"
#include "ConversionResult.h"

#include <QFuture>
#include <QString>
#include <QThreadPool>

#include <functional>
#include <memory>

namespace tarvo {

// Turns an item and a delivery into what a destination receives: the item's
// stored file, a text, or a new file. Conversions run on a pool of worker
// threads behind a first-come-first-served gate that admits at most the
// engine's limit at once; conversions waiting at the gate hold no thread.
// Usable from any thread.
class ConversionEngine final {
public:
    using Performer = std::function<ConversionResult(const ConversionRequest&)>;

    // A limit below 1 admits one conversion at a time.
    explicit ConversionEngine(int maxConcurrent);
    // Runs `performer` in place of perform(), for tests of the gate.
    ConversionEngine(int maxConcurrent, Performer performer);
    // Waits for every admitted and waiting conversion to finish.
    ~ConversionEngine();
    ConversionEngine(const ConversionEngine&) = delete;
    ConversionEngine& operator=(const ConversionEngine&) = delete;

    // Resolves with perform()'s result, or fails with the exception it threw,
    // unchanged. The slot is given back either way.
    QFuture<ConversionResult> convert(ConversionRequest request);

    // The most conversions that have held a slot at the same time.
    int peakConcurrency() const;

    // The processors this process may run on (its affinity mask), at least 1:
    // the limit the application gives its engine.
    static int activeProcessorCount();

    // Performs one request on the calling thread, outside the gate. Throws
    // ConversionError, or FileError for a failed read, write or folder creation.
    // A failing conversion leaves no file behind: neither the name it reserved
    // nor any partial output or temporary page.
    static ConversionResult perform(const ConversionRequest& request);

    // The output file name: the display name (or the rename template's
    // expansion) with the delivery's extension, cleaned so that it is always a
    // plain name inside its folder.
    static QString fileName(const ConversionRequest& request);

    // The file to write: the request's exact destination, or a free name in the
    // work folder (created when missing), reserved. Throws FileError.
    static QString destinationURL(const ConversionRequest& request);

private:
    class Gate;

    std::unique_ptr<Gate> m_gate;
    Performer m_perform;
    QThreadPool m_queue;
};

} // namespace tarvo
