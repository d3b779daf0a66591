// SPDX-License-Identifier: MIT
#pragma once
// Telnet (RFC 854, 855) for one connection, without the connection: received bytes go in, in pieces
// of any size, and come out as data and subnegotiations; the answers to the peer's option
// negotiation wait in a bounded queue until taken for sending.
//
// Each option is in effect, not, or asked for, on each side (RFC 1143 without its queue). Only a
// change of an option's state is answered, and a refusal is sent once until the peer changes its
// mind: a peer that repeats a request gets no answer for each, so no loop can start and no flood of
// requests makes answers pile up.

#include <array>
#include <bitset>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

namespace telnet {
inline constexpr unsigned char kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250,
                               kGa = 249, kNop = 241, kSe = 240;
inline constexpr unsigned char kBinary = 0, kSuppressGoAhead = 3;
}  // namespace telnet

class CTelnetCodec {
public:
    // One subnegotiation as it arrived, its doubled IAC bytes made single.
    struct Subnegotiation {
        unsigned char option;
        std::string payload;
        bool operator==(const Subnegotiation&) const = default;
    };

    // A subnegotiation longer than this is dropped whole: no answer of the options used here is
    // longer, and a peer that never ends one costs no more than this.
    static constexpr size_t kLongestSubnegotiation = 64;
    // Answers waiting to be sent at most; answers beyond are dropped.
    static constexpr size_t kMostAnswers = 1024;

    // ours: the options this side does (WILL) when asked; theirs: those it lets the peer do (DO).
    // Every other option is refused.
    CTelnetCodec(std::initializer_list<unsigned char> ours, std::initializer_list<unsigned char> theirs);

    // Offers every option of ours and asks the peer for every one of theirs: the bytes to send.
    std::string Offer();

    // Takes received bytes apart: data bytes are appended to data and each subnegotiation ended in
    // them to subnegotiations; the answers go to the queue that TakeAnswers empties. A sequence may
    // be split anywhere between two calls.
    void Decode(std::string_view bytes, std::string& data, std::vector<Subnegotiation>& subnegotiations);

    // The answers to send, taken from the queue.
    std::string TakeAnswers();

    // Whether the option is in effect on this side (we do it).
    bool OursOn(unsigned char option) const { return m_ours.state[option] == State::Yes; }
    // Whether the peer turned down an option of ours that this side offered or did.
    bool OursRefused(unsigned char option) const { return m_ours.turnedDown[option]; }

    // The data with every IAC byte doubled, as the connection carries it.
    static std::string Escaped(std::string_view data);
    // IAC SB option payload IAC SE, the payload escaped.
    static std::string Framed(unsigned char option, std::string_view payload);

private:
    enum class State : unsigned char { No, Yes, Asked };
    // One side's options: their states, those this side takes on, those refused and not asked for
    // again since, and those the peer turned down.
    struct Side {
        std::array<State, 256> state{};
        std::bitset<256> wanted;
        std::bitset<256> refusing;
        std::bitset<256> turnedDown;
    };
    enum class Place { Data, Iac, Verb, SubOption, SubData, SubIac };

    void Byte(unsigned char byte, std::string& data, std::vector<Subnegotiation>& subnegotiations);
    void Command(unsigned char byte);
    void SubnegotiationByte(unsigned char byte, std::vector<Subnegotiation>& subnegotiations);
    void Negotiation(unsigned char verb, unsigned char option);
    void Answer(unsigned char verb, unsigned char option);

    Side m_ours;
    Side m_theirs;
    Place m_place = Place::Data;
    unsigned char m_verb = 0;
    Subnegotiation m_sub{};
    bool m_subTooLong = false;
    std::string m_answers;
};

}  // namespace platform
