// A live transport stream signalled the T-DMB way (ETSI TS 102 428: an IOD descriptor in the
// PMT, object and scene descriptors in ISO/IEC 14496 sections, audio and video as SL packets
// in PES) turned into the plain MPEG-2 form the demuxer reads: a PMT that lists the audio and
// video the object descriptors name, as H.264 / MPEG-4 visual and ADTS AAC / MPEG audio, and
// their access units, put together from SL packets by the access unit flags, in PES packets
// with the SL time stamps. The scene and object descriptor streams go no further. Audio that
// cannot be carried on (ER BSAC, say) is logged once, left out, and reported once with
// WM_SYSTEM_AUDIO_UNSUPPORTED; the picture plays. A stream without that signalling passes
// unchanged, but for its start: a tune lands anywhere in the table carousel, and a demuxer that
// meets PES packets before the PMT guesses their codecs from the PES stream ids and the first
// bytes (AAC taken for MPEG audio, say), which a later PMT does not correct. So the packets
// wait until the PAT and its PMT have come whole, and go on with those tables first.
#ifndef M4SYSTEMS_TERMINAL_MPEG4_SYSTEMS_INPUT_H
#define M4SYSTEMS_TERMINAL_MPEG4_SYSTEMS_INPUT_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "dab/mpeg4_systems.h"
#include "m4systems/m4_types.h"

namespace koru::m4 {

class M4_INTERNAL Mpeg4SystemsInput {
  public:
    using Notify = std::function<void(uint32_t, int64_t, int64_t)>;
    static constexpr size_t kPacket = 188;

    // tables_first: hold the start until the PAT and its PMT have come (for a demuxer that
    // joins the stream live); without it every packet goes on as soon as it is whole.
    explicit Mpeg4SystemsInput(Notify notify, bool tables_first = true)
        : notify_(std::move(notify)), tables_seen_(!tables_first) {}

    // Appends the bytes for the demuxer to out: whole packets at a time (a partial packet
    // waits for its rest); bytes out of step pass unchanged.
    void Process(const uint8_t* data, size_t size, std::vector<uint8_t>* out);
    // The end of the input: what waits for a whole packet.
    void Flush(std::vector<uint8_t>* out);
    // Whether the stream carries MPEG-4 Systems signalling (seen in its PMT).
    bool Active() const { return active_; }

  private:
    struct Section {
        std::vector<uint8_t> bytes;
        bool open = false;
    };
    struct Media {
        uint8_t stream_type = 0;  // what the PMT lists for the demuxer; 0: left out
        dab::EsDescriptor es;
        std::optional<dab::AudioSpecificConfig> audio;
        std::vector<uint8_t> pes;   // the PES packet being gathered
        std::vector<uint8_t> unit;  // the access unit being put together
        int64_t unit_pts = -1;
        bool in_unit = false;
        uint8_t counter = 0;
    };
    struct Stream {
        uint8_t type = 0;
        int es_id = -1;
        std::vector<uint8_t> descriptors;  // as the PMT had them (plain streams)
    };

    // Packets held for the PAT and PMT at the most (385 kB: seconds of a TV service).
    // A stream without those tables plays after them as it came.
    static constexpr size_t kMaxWaiting = 2048;

    void Packet(const uint8_t* p, std::vector<uint8_t>* out);
    void WaitForTables(const uint8_t* p, std::vector<uint8_t>* out);
    void ReleaseWaiting(std::vector<uint8_t>* out);
    // Gathers a section on pid; true with the whole section in *section.
    bool GatherSection(const uint8_t* p, Section* gather, std::vector<uint8_t>* section);
    void OnPat(const std::vector<uint8_t>& section);
    void OnPmt(const std::vector<uint8_t>& section, std::vector<uint8_t>* out);
    void OnObjectDescriptors(int pid, const std::vector<uint8_t>& section,
                             std::vector<uint8_t>* out);
    void AddStreams(const std::vector<dab::EsDescriptor>& streams);
    void Describe(int pid, const dab::EsDescriptor& es);
    void WritePmt(std::vector<uint8_t>* out);
    void MediaPacket(int pid, const uint8_t* p, Media* media, std::vector<uint8_t>* out);
    void OnPes(int pid, Media* media, std::vector<uint8_t>* out);
    void EmitUnit(int pid, Media* media, std::vector<uint8_t>* out);
    void ReleaseHeld(std::vector<uint8_t>* out);

    const Notify notify_;
    // The start, until the PAT and its PMT have come: the packets so far, and where in them the
    // latest whole PAT and PMT sections began and ended (packet indexes).
    struct Table {
        Section gather;
        size_t started = 0;          // where the section being gathered began
        size_t first = 0, last = 0;  // of the latest whole one
        bool whole = false;
    };
    bool tables_seen_ = false;
    std::vector<uint8_t> waiting_;
    Table start_pat_, start_pmt_;
    int start_pmt_pid_ = -1;
    bool active_ = false;
    std::vector<uint8_t> partial_;
    int pmt_pid_ = -1;
    Section pat_, pmt_;
    std::vector<uint8_t> last_pmt_;  // the PMT as it came
    std::map<int, Section> object_descriptor_sections_;
    uint16_t program_number_ = 0;
    int pcr_pid_ = 0x1FFF;
    uint8_t pmt_version_ = 0;
    uint8_t pmt_counter_ = 0;
    bool pmt_changed_ = false;
    std::map<int, Stream> streams_;       // by PID, as the PMT lists them
    std::map<int, dab::SlConfig> od_sl_;  // object descriptor streams by PID
    std::map<int, Media> media_;          // by PID, once described
    // Packets of SL streams not yet described: the object descriptors may come a moment
    // after the key frame a receiver joined at.
    std::map<int, std::vector<uint8_t>> held_;
    bool audio_unsupported_sent_ = false;
};

}  // namespace koru::m4

#endif
