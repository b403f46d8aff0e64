// The PDUs of the server side: what an SMPP client sends us (binds, submit_sm, data_sm)
// and what we answer. Packing and unpacking are libsmpp34's; pure functions, no I/O.
#pragma once

#include <cstdint>
#include <string>

#include "smpplnk/smpp_pdu.h"

namespace smpplnk {

// Command statuses the server answers with.
constexpr std::uint32_t kStatusOk = 0x00;
constexpr std::uint32_t kStatusInvalidMessageLength = 0x01;
constexpr std::uint32_t kStatusInvalidCommandLength = 0x02;
constexpr std::uint32_t kStatusIncorrectBindStatus = 0x04;
constexpr std::uint32_t kStatusAlreadyBound = 0x05;
constexpr std::uint32_t kStatusSystemError = 0x08;
constexpr std::uint32_t kStatusInvalidSource = 0x0A;
constexpr std::uint32_t kStatusInvalidDestination = 0x0B;
constexpr std::uint32_t kStatusBindFailed = 0x0D;
constexpr std::uint32_t kStatusInvalidPassword = 0x0E;
constexpr std::uint32_t kStatusInvalidSystemId = 0x0F;
constexpr std::uint32_t kStatusSubmitFailed = 0x45;

// A bind_receiver, bind_transmitter or bind_transceiver from a client: 0 with its
// fields (the interface version as sent), or kErrMalformed. System id and password may
// be up to 50 octets each, as long as the gateway's account names and passwords.
int DecodeBindRequest(const std::string& pdu, BindRequest& out);
// The bind's response (`bindId` is the request's command id) carrying our system id.
int EncodeBindResponse(std::uint32_t bindId, std::uint32_t status, std::uint32_t sequence,
                       const std::string& systemId, std::string& pdu);

// A submit_sm or data_sm from a client: 0 with its fields and optional parameters, or
// kErrMalformed (a body that does not parse, a field longer than its maximum).
int DecodeMessageRequest(const std::string& pdu, MessageRequest& out);
// submit_sm_resp or data_sm_resp for `commandId`, with the message id when accepted.
int EncodeMessageResponse(std::uint32_t commandId, std::uint32_t status, std::uint32_t sequence,
                          const std::string& messageId, std::string& pdu);

}  // namespace smpplnk
