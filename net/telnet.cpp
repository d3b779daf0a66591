// SPDX-License-Identifier: MIT
#include "net/telnet.h"

#include <utility>

namespace platform {

using namespace telnet;

CTelnetCodec::CTelnetCodec(std::initializer_list<unsigned char> ours,
                           std::initializer_list<unsigned char> theirs) {
    for (const unsigned char option : ours) m_ours.wanted.set(option);
    for (const unsigned char option : theirs) m_theirs.wanted.set(option);
}

std::string CTelnetCodec::Offer() {
    std::string offer;
    for (Side* side : {&m_ours, &m_theirs}) {
        for (size_t option = 0; option < side->state.size(); ++option) {
            if (!side->wanted[option] || side->state[option] != State::No) continue;
            side->state[option] = State::Asked;
            offer += {static_cast<char>(kIac), static_cast<char>(side == &m_ours ? kWill : kDo),
                      static_cast<char>(option)};
        }
    }
    return offer;
}

void CTelnetCodec::Decode(std::string_view bytes, std::string& data,
                          std::vector<Subnegotiation>& subnegotiations) {
    for (const char byte : bytes) Byte(static_cast<unsigned char>(byte), data, subnegotiations);
}

void CTelnetCodec::Byte(unsigned char byte, std::string& data, std::vector<Subnegotiation>& subnegotiations) {
    switch (m_place) {
        case Place::Data:
            if (byte == kIac) {
                m_place = Place::Iac;
            } else {
                data += static_cast<char>(byte);
            }
            break;
        case Place::Iac:
            if (byte == kIac) data += static_cast<char>(kIac);
            Command(byte);
            break;
        case Place::Verb:
            Negotiation(m_verb, byte);
            m_place = Place::Data;
            break;
        case Place::SubOption:
            m_sub = {byte, {}};
            m_subTooLong = false;
            m_place = Place::SubData;
            break;
        case Place::SubData:
        case Place::SubIac:
            SubnegotiationByte(byte, subnegotiations);
            break;
    }
}

// The byte after IAC (IAC IAC, the data byte, is taken by the caller).
void CTelnetCodec::Command(unsigned char byte) {
    m_place = Place::Data;
    if (byte >= kWill && byte <= kDont) {
        m_verb = byte;
        m_place = Place::Verb;
    } else if (byte == kSb) {
        m_place = Place::SubOption;
    }
    // Any other command (no operation, go ahead, data mark, a stray end of subnegotiation ...)
    // means nothing here.
}

void CTelnetCodec::SubnegotiationByte(unsigned char byte, std::vector<Subnegotiation>& subnegotiations) {
    if (m_place == Place::SubData) {
        if (byte == kIac) {
            m_place = Place::SubIac;
            return;
        }
    } else if (byte == kSe) {
        if (!m_subTooLong) subnegotiations.push_back(std::move(m_sub));
        m_place = Place::Data;
        return;
    } else if (byte != kIac) {
        m_place = Place::SubData;
        // A command without arguments (no operation, go ahead ...) inside: passed over.
        if (byte >= kNop && byte <= kGa) return;
        // Another negotiation or subnegotiation: this one was left unended, and is dropped.
        Command(byte);
        return;
    }
    m_place = Place::SubData;
    m_subTooLong = m_subTooLong || m_sub.payload.size() >= kLongestSubnegotiation;
    if (!m_subTooLong) m_sub.payload += static_cast<char>(byte);
}

void CTelnetCodec::Negotiation(unsigned char verb, unsigned char option) {
    const bool aboutOurs = verb == kDo || verb == kDont;
    Side& side = aboutOurs ? m_ours : m_theirs;
    const unsigned char agree = aboutOurs ? kWill : kDo;
    const unsigned char refuse = aboutOurs ? kWont : kDont;
    State& state = side.state[option];
    if (verb == kDo || verb == kWill) {
        if (state == State::Yes) return;
        if (state == State::Asked || side.wanted[option]) {
            if (state == State::No) Answer(agree, option);
            state = State::Yes;
            side.turnedDown.reset(option);
        } else if (!side.refusing[option]) {
            Answer(refuse, option);
            side.refusing.set(option);
        }
        return;
    }
    // The peer turns the option off, or down: its mind changed, a later request is answered again.
    side.refusing.reset(option);
    if (state == State::Yes) Answer(refuse, option);
    if (state != State::No) side.turnedDown.set(option);
    state = State::No;
}

void CTelnetCodec::Answer(unsigned char verb, unsigned char option) {
    if (m_answers.size() + 3 > kMostAnswers) return;
    m_answers += {static_cast<char>(kIac), static_cast<char>(verb), static_cast<char>(option)};
}

std::string CTelnetCodec::TakeAnswers() {
    return std::exchange(m_answers, {});
}

std::string CTelnetCodec::Escaped(std::string_view data) {
    std::string escaped;
    escaped.reserve(data.size() + 8);
    for (const char byte : data) {
        escaped += byte;
        if (static_cast<unsigned char>(byte) == kIac) escaped += byte;
    }
    return escaped;
}

std::string CTelnetCodec::Framed(unsigned char option, std::string_view payload) {
    return std::string{static_cast<char>(kIac), static_cast<char>(kSb), static_cast<char>(option)} +
           Escaped(payload) + std::string{static_cast<char>(kIac), static_cast<char>(kSe)};
}

}  // namespace platform
