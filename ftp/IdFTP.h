#pragma once

#include "IdException.h"
#include "IdFTPParsing.h"
#include "IdTCPClient.h"

#include <exception>
#include <functional>
#include <memory>
#include <optional>

class TIdSimpleServer;
class TStream;

enum TIdFTPTransferType : uint8_t { ftBinary = 0, ftASCII = 1 };

// "Die Zieldatei existiert bereits."
class EIdFTPFileAlreadyExists : public EIdException {
 public:
  EIdFTPFileAlreadyExists() : EIdException("Die Zieldatei existiert bereits.") {}
};

// An argument that would end its command line early and smuggle in another command.
class EIdFTPInvalidArgument : public EIdException {
 public:
  EIdFTPInvalidArgument()
      : EIdException("Der Befehl wurde nicht gesendet: sein Argument enthält einen "
                     "Zeilenumbruch oder ein Nullzeichen.") {}
};

// A transfer was asked for while another one of this client is still running.
class EIdFTPTransferInProgress : public EIdException {
 public:
  EIdFTPTransferInProgress() : EIdException("Es läuft bereits eine Datenübertragung.") {}
};

// No data connection comes about in either direction: the server cannot reach this
// computer (active mode) and this computer cannot reach the server's data port (passive).
class EIdFTPNoDataConnection : public EIdException {
 public:
  using EIdException::EIdException;
};

// The server ended an upload's data connection before it had taken the whole file (an
// early close or a reset), whatever it answers afterwards.
class EIdFTPUploadIncomplete : public EIdException {
 public:
  using EIdException::EIdException;
};

// A listing larger than MaxListingSize: read no further, shown nowhere.
class EIdFTPListingTooLarge : public EIdException {
 public:
  using EIdException::EIdException;
};

// Greeting and login did not end within LoginTimeOut; the connection is closed.
class EIdFTPLoginTimeout : public EIdException {
 public:
  using EIdException::EIdException;
};

// The FTP client. Its own connection is the control connection; each listing or file
// transfer runs over a data connection of its own, which the server opens to us (active
// mode: we listen and announce the port with PORT) or we open to the server (passive
// mode: PASV). Work events of a transfer come from the data connection; the client's
// handlers are handed to it.
class TIdFTP : public TIdTCPClient {
 public:
  // How long the server may take to open an active-mode data connection.
  static constexpr int32_t DefaultAcceptTimeOut = 60000;
  // Limits of the control connection (ReadTimeOut, WriteTimeOut, ReplyTimeOut): a reply
  // wait in which nothing arrives for a minute fails, and so does a reply still incomplete
  // after two, however slowly it trickles in.
  static constexpr int32_t DefaultReadTimeOut = 60000;
  static constexpr int32_t DefaultReplyTimeOut = 120000;
  // A transfer in which no byte moves for this long fails.
  static constexpr int32_t DefaultDataStallTimeOut = 60000;
  // After a failed transfer, how long the replies the server still owes for it may take.
  static constexpr int32_t DefaultReplyDrainTimeOut = 3000;
  // The first active-mode data connection of a session may take this long; a server that
  // has not connected back by then cannot (a NAT router or a firewall in between), and the
  // client goes passive.
  static constexpr int32_t DefaultFirstAcceptTimeOut = 10000;
  // Greeting and login as a whole, from the moment the connection stands.
  static constexpr int32_t DefaultLoginTimeOut = 60000;
  // Far above any folder a photographer keeps (100,000 entries take about 7 MiB).
  static constexpr int64_t DefaultMaxListingSize = 32 << 20;

  TIdFTP();
  ~TIdFTP() override;

  // Opens the control connection, reads the greeting and, with login, sends user, pass
  // (when asked for), type and syst, all within LoginTimeOut. Any failure closes the
  // connection again.
  void Connect(bool login = true);
  // Sends "Quit" without waiting for an answer and closes the connection (only closes it
  // while the connect still waits for the server).
  void Quit();
  // Sends "ABOR" (no reply is read here) and drops the running transfer's data connection;
  // the transfer routine further up the stack reads the replies. Only an ABOR sent while
  // the data connection exists makes a 426 part of the transfer's normal end.
  virtual void Abort();
  virtual void CloseDataConnection();

  TIdFTPTransferType TransferType() const { return FTransferType; }
  // Sends the type command when the value changes while connected; ignored while a
  // transfer runs.
  void SetTransferType(TIdFTPTransferType type);
  void SendTypeCommand();
  // What the server said to syst at the last login ("Unbekannt" for 500).
  const std::string& SystemDescription() const { return FSystemDescription; }

  // "NOOP": whether the session is still there is known afterwards (Connected()).
  void Noop();
  void ChangeWorkingDir(const std::string& path);
  std::string QueryWorkingDir();
  void MakeRemoteDir(const std::string& name);
  void RemoveRemoteDir(const std::string& name);
  void DeleteRemoteFile(const std::string& name);
  // The size from a 213 reply; -1 for any other reply or an unreadable size.
  int32_t QueryFileSize(const std::string& name);

  // The transfers. A failure in the data phase releases the data connection, then reads
  // the replies the server still owes for the transfer (within ReplyDrainTimeOut, else
  // the control connection is dropped: out of step is worse than closed) and raises the
  // first failure; when the data connection broke and the server's reply tells why (a
  // full disk, a quota), that reply. A 426 the client did not ask for with ABOR is a
  // failure; a late reply after it is read before the next command.
  //
  // Active mode comes first. When the server refuses PORT, answers 425, or has not
  // connected back within FirstAcceptTimeOut on the session's first data connection, the
  // operation runs once more in passive mode, and the client stays passive for the rest of
  // its life. Passive data connections go to the control connection's peer, whatever
  // address the server names. Only the server's data connection is accepted in active mode.
  //
  // An upload is complete only when the server closed the data connection in order after
  // taking every byte; anything else ends it with a reset, so that the server cannot take
  // a part for the whole.
  //
  // Replaces target's lines with the listing's ("list" when detailed, else "nlst").
  void ListDirectory(TStringList& target, const std::string& specifier, bool detailed);
  void RetrieveFile(const std::string& remoteName, const std::string& localName, bool overwrite);
  void RetrieveToStream(const std::string& remoteName, TStream& destination);
  void StoreFile(const std::string& localName, const std::string& remoteName, bool append);
  void StoreFromStream(TStream& source, const std::string& remoteName, bool append);

  // The running transfer's data connection, or none.
  TIdTCPConnection* DataConnection() const { return FDataConnection.get(); }
  // Passive mode is used: asked for, or active mode found impossible before.
  bool UsesPassive() const { return Passive || FPassiveFallback; }

  std::string User;
  std::string Password;
  bool Passive = false;
  // Explicit FTP over TLS, required: after the greeting "AUTH TLS" and the handshake, and
  // only then the login; after it "PBSZ 0" and "PROT P", and every data connection is
  // encrypted too. A server that does not offer it, or whose certificate does not hold,
  // gets nothing more: no user name, no password, no file.
  bool TLSRequired = false;
  // The certificates (PEM) the server's must lead to, the only ones trusted; empty: the
  // system's certificate store.
  std::string TLSTrustedCertificates;
  // Longest wait for the server's data connection in active mode, ms (0 = no limit).
  int32_t AcceptTimeOut = DefaultAcceptTimeOut;
  // ReadTimeOut and WriteTimeOut of every data connection, ms (0 = no limit).
  int32_t DataStallTimeOut = DefaultDataStallTimeOut;
  int32_t ReplyDrainTimeOut = DefaultReplyDrainTimeOut;
  int32_t FirstAcceptTimeOut = DefaultFirstAcceptTimeOut;
  int32_t LoginTimeOut = DefaultLoginTimeOut;
  int64_t MaxListingSize = DefaultMaxListingSize;

 protected:
  // A 421 ends the session whatever the command ("421 Timeout.", "421 Too many users"):
  // the server closes; so does this side, at once.
  int16_t CheckReplyCode(int16_t code, const TIdReplyCodes& allowed) override;

 private:
  // What the server still owes for the running transfer.
  struct TTransferReplies {
    bool PortSent = false;
    bool CommandSent = false;
    bool DataConnected = false;  // the data connection stood (connected or accepted)
    bool ForeignRefused = false; // a connection from another host was turned away
    bool FinalRead = false;      // a reply other than a preliminary one came for the command
    bool AbortAnswered = false;  // the reply to our ABOR came (alone or with the final one)
    int16_t FinalCode = 0;       // that reply
    std::string FinalLine;
  };
  enum class TActiveOutcome { Done, GoPassive };

  void RunIncomingTransfer(const std::string& command, TStream& destination);
  void RunOutgoingTransfer(const std::string& command, TStream& source);
  // Runs the transfer in active mode, or in passive mode when that is the mode or active
  // mode turns out impossible.
  template <typename Move>
  void RunTransfer(const std::string& command, const TIdReplyCodes& preliminary, Move move);
  // Sets up the data connection (active: listening, PORT, accepted; passive: PASV,
  // connected) around the transfer command, runs move on it, releases it, then reads the
  // final reply.
  template <typename Move> TActiveOutcome RunActiveTransfer(const std::string& command, Move move);
  template <typename Move>
  void RunPassiveTransfer(const std::string& command, const TIdReplyCodes& preliminary, Move move,
                          bool afterActive);
  void ReadFinalReply(TTransferReplies& replies);
  // Whether the server may still send a reply after the one taken as the transfer's end.
  void ExpectLateReplies(const TTransferReplies& replies);
  // Drops and destroys the data connection.
  void ReleaseDataConnection();
  // Raises the failure to report for a failed transfer: the server's reply when the data
  // connection broke and the reply names a failure, else failure itself.
  [[noreturn]] void RaiseTransferFailure(std::exception_ptr failure,
                                         const TTransferReplies& replies) const;
  // Reads a reply the server may still send after one it sent unasked (a 226 after its own
  // 426), so that the next command gets its own.
  void SettleStrayReplies();
  int16_t Exchange(const std::string& line, const TIdReplyCodes& allowed);
  // TLS (IdFTPTLS.cpp): the control connection's handshake after the greeting, the
  // protection of the data connections after the login, and a data connection's own
  // handshake once it is connected or accepted (nothing without TLSRequired).
  // Both run inside the login's exchange of commands and replies.
  using TLoginExchange = std::function<int16_t(const std::string&, const TIdReplyCodes&)>;
  void NegotiateTLS(const TLoginExchange& exchange);
  void ProtectDataConnections(const TLoginExchange& exchange);
  void SecureDataConnection(TIdTCPConnection& data);
  void RequestPassiveAddress(std::string& ip, int32_t& port);
  // PORT; on the session's first data connection its reply may take FirstAcceptTimeOut.
  void AnnounceDataPort(const TIdSocketHandle& handle, TTransferReplies& replies, bool first);
  void ShareWorkHandlers();
  // The data connection's limits, from this client's.
  void LimitDataConnection();
  void WaitForDataConnection(TIdSimpleServer& listener, TTransferReplies& replies, bool first);
  int16_t ReadTransferReply(const TIdReplyCodes& allowed, TTransferReplies& replies);
  void NoteTransferReply(TTransferReplies& replies, int16_t code) const;
  bool RepliesOwed(const TTransferReplies& replies) const;
  // Reads what is owed within ReplyDrainTimeOut, else drops the control connection.
  // Raises nothing: it runs while the transfer's failure is on its way to the caller.
  void DrainOwedReplies(TTransferReplies& replies);
  // Sends command + argument, refusing an argument that would break the line.
  int16_t SendWithArgument(const std::string& command, const std::string& argument,
                           const TIdReplyCodes& allowed);

  TIdFTPTransferType FTransferType = ftBinary;
  std::string FSystemDescription;
  std::unique_ptr<TIdTCPConnection> FDataConnection;
  bool FAbortSent = false; // ABOR went out while the running transfer's data connection existed
  bool FPassiveFallback = false; // active mode proved impossible; passive from now on
  bool FActiveWorked = false;    // an active-mode data connection came in this session
  std::optional<TClock::time_point> FStrayRepliesUntil;
};
