// The sample rules the views share, their passes, and the cursor read-out.
#include <algorithm>

#include "core/app/number_text.h"
#include "ui/plots/plot_frame.h"
#include "ui/plots/view_images.h"

namespace velmor {

std::size_t ViewSamples::AddSag(double x, double y) {
    m_slots.push_back(m_requests.size());
    m_requests.push_back({SampleRequest::kSag, x, y, 0.0});
    return m_slots.size() - 1;
}

std::size_t ViewSamples::AddIndex(double x, double y, double z) {
    if (m_interpreterMode) {
        m_slots.push_back(kNotAsked);
    } else {
        m_slots.push_back(m_requests.size());
        m_requests.push_back({SampleRequest::kIndex, x, y, z});
    }
    return m_slots.size() - 1;
}

void ViewSamples::Take(Sampler& sampler) {
    m_answers.assign(m_requests.size(), SampleAnswer{});
    if (!m_requests.empty())
        sampler.SampleBatch(m_requests.size(), m_requests.data(), m_answers.data());
}

bool ViewSamples::NoneAnswered() const {
    if (m_answers.empty()) return false;
    for (const SampleAnswer& answer : m_answers) {
        if (answer.ok) return false;
    }
    return true;
}

bool ViewSamples::AskedIndex() const {
    for (const SampleRequest& request : m_requests) {
        if (request.kind == SampleRequest::kIndex) return true;
    }
    return false;
}

QString NothingAnsweredNote(const PlotState& state, const ViewSamples& samples) {
    if (!samples.NoneAnswered()) return {};
    if (samples.AskedIndex() && state.recordWavelength == 0.0)
        return QString::fromLatin1(kNoIndexAtWavelength0Text);
    return QString::fromLatin1(kNoSampleAnsweredText);
}

void DrawViewNote(PlotCanvas& canvas, const QString& note) {
    if (note.isEmpty()) return;
    const int width = canvas.Right() + 1, height = canvas.Bottom() + 1;
    canvas.SetTextColour(kBlackRgb);
    canvas.SetFont(ViewNoteFont(note, width));
    const QSize extent = canvas.TextExtent(note);
    // Centred; in a view narrower than the text, from its left edge so that its start shows.
    const int x = std::max(canvas.Left() + 2, (width - extent.width()) / 2);
    canvas.Text(x, (height - extent.height()) / 2, note);
    canvas.SetFont(PlotFont());
}

QFont ViewNoteFont(const QString& note, int viewWidth) {
    return HelpFont({note}, HelpTextWidth(viewWidth));
}

void DrawViewNote(QImage& image, const QString& note) {
    if (note.isEmpty() || image.isNull()) return;
    PlotCanvas canvas(image, kPaperRgb);
    DrawViewNote(canvas, note);
}

const SampleAnswer& ViewSamples::operator[](std::size_t i) const {
    const std::size_t slot = m_slots[i];
    return slot < m_answers.size() ? m_answers[slot] : m_failed;
}

void DrawSagCurve(PlotCanvas& canvas, const PlotMapping& mapping, const SagCurve& curve,
                  const ViewSamples& samples) {
    BrokenPolyline line(canvas, mapping);
    for (std::size_t k = 0; k < curve.across.size(); ++k) {
        const SampleAnswer& answer = samples[curve.first + k];
        line.Add(answer.ok, curve.across[k], answer.sag);
    }
}

QString CursorReadout(const PlotState& state, Sampler& sampler) {
    if (!state.cursor && !state.gradientIndex) return QString();
    const auto f3 = [](double v) { return FormatFixed(v, 3); };
    std::string text = "Cursor: x=" + f3(state.cursorX) + " , y=" + f3(state.cursorY) +
                       " , z=" + f3(state.cursorZ);
    ViewSamples samples(state);
    const std::size_t at = state.gradientIndex
                               ? samples.AddIndex(state.cursorX, state.cursorY, state.cursorZ)
                               : samples.AddSag(state.cursorX, state.cursorY);
    samples.Take(sampler);
    const SampleAnswer& answer = samples[at];
    if (state.gradientIndex) {
        const IndexSample& s = answer.index;
        if (answer.ok) {
            text += "\n n=" + f3(s.index) + " , dn/dx=" + f3(s.dndx) + " , dn/dy=" + f3(s.dndy) +
                    " , dn/dz=" + f3(s.dndz);
        }
    } else if (answer.ok) {
        text += ", sag=" + f3(answer.sag);
    }
    return QString::fromStdString(text);
}

}  // namespace velmor
