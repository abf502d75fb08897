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
// engine's limit at once, and no more decoded pixels than its budget (a
// conversion larger than the budget runs alone); conversions waiting at the
// gate hold no thread. Usable from any thread.
class ConversionEngine final {
public:
    using Performer = std::function<ConversionResult(const ConversionRequest&)>;
    using Weigher = std::function<qint64(const ConversionRequest&)>;

    // The bytes of decoded pixels that the admitted conversions may hold
    // together: a batch of large images onto a PDF goes one by one.
    static constexpr qint64 pixelBudget = qint64{512} << 20;

    // A limit below 1 admits one conversion at a time.
    explicit ConversionEngine(int maxConcurrent);
    // Runs `performer` in place of perform() (and `weigher` in place of
    // weight()), for tests of the gate.
    ConversionEngine(int maxConcurrent, Performer performer);
    ConversionEngine(int maxConcurrent, Performer performer, Weigher weigher);
    // Waits for every admitted and waiting conversion to finish.
    ~ConversionEngine();
    ConversionEngine(const ConversionEngine&) = delete;
    ConversionEngine& operator=(const ConversionEngine&) = delete;

    // Resolves with perform()'s result, or fails with the exception it threw,
    // unchanged. The slot is given back either way.
    QFuture<ConversionResult> convert(ConversionRequest request);

    // The most conversions that have held a slot at the same time.
    int peakConcurrency() const;
    // The most bytes of decoded pixels admitted at the same time.
    qint64 peakWeight() const;

    // About how many bytes of decoded pixels performing `request` holds at
    // its largest; 0 for conversions that decode nothing. Reads the source's
    // header only; a source that cannot be read weighs nothing.
    static qint64 weight(const ConversionRequest& request);

    // The processors this process may run on (its affinity mask), at least 1:
    // the limit the application gives its engine.
    static int activeProcessorCount();

    // Performs one request on the calling thread, outside the gate. Throws
    // ConversionError, or FileError for a failed read, write or folder creation.
    // A failing conversion leaves no file behind: neither the name it reserved
    // nor any partial output or temporary page.
    static ConversionResult perform(const ConversionRequest& request);

    // Whether `item` under `delivery` is handed over as text rather than as a
    // file, known without converting: what perform() gives, or the unchanged
    // item where perform() cannot convert an item that has no file.
    static bool answersWithText(const Item& item, const Delivery& delivery);

    // The output file name: the display name (or the rename template's
    // expansion) with the delivery's extension, cleaned so that it is always a
    // plain name inside its folder.
    static QString fileName(const ConversionRequest& request);

    // The file to write: the request's exact destination, or a free name in the
    // work folder, reserved. Throws FileError, also when the work folder is
    // gone: it is never made again.
    static QString destinationURL(const ConversionRequest& request);

private:
    class Gate;

    std::unique_ptr<Gate> m_gate;
    Performer m_perform;
    Weigher m_weigh;
    // Weighs requests in the order they came, one at a time, so that they
    // reach the gate in that order; reading headers never holds up a caller.
    QThreadPool m_weighing;
    QThreadPool m_queue;
};

} // namespace tarvo
