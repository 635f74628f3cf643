#include "upcheck/upcheck_texts.h"

namespace koru::upcheck {

std::string MessageText(Message message, Language language, const std::string& host) {
    const bool english = language == Language::kEnglish;
    switch (message) {
        case Message::kCheckerBroken:
            return english ? "Due to the problems on programme which can check the version\n"
                             "it is not possible to check the latest updated version for this "
                             "programme.\nWe're really regret to say this but please kindly "
                             "check this problems at our company homepage (" +
                                 host + ")."
                           : "버전 체크 프로그램에 문제가 생겨\n최신 프로그램의 버전을 확인할 수 "
                             "없습니다.\n죄송하지만 당사 홈페이지(" +
                                 host + ")를 직접 방문해 주시기 바랍니다.";
        case Message::kNoInformation:
            return english ? "It is impossible to download the information about the latest "
                             "updated version.\nPlease kindly check whether there are problems "
                             "on network or not.\nIf there is no problem on network, then please "
                             "retry it.\nIf the problems still occurred,\nWe're really regret to "
                             "say this but please kindly visit our company homepage (" +
                                 host + ")."
                           : "최신 프로그램 정보를 다운로드할 수 없습니다.\n네트워크 상태를 "
                             "확인하시기 바랍니다.\n만일 네트워크에 문제가 없다면 다시 한번 시도해 "
                             "보십시오.여전히 문제가 계속 발생하면죄송하지만 당사 홈페이지(" +
                                 host + ")를 직접 방문하시기 바랍니다.";
        case Message::kLatest:
            return english ? "This is the latest version of the programme."
                           : "현재 프로그램이 최신 버전입니다.";
        case Message::kBrowserFailed:
            return english ? "It is tried to download the file through internet explorer\nbut "
                             "it is failed due to unknown reason.\nWe're really regret to say "
                             "this but please kindly visit our company homepage (" +
                                 host + ")\nand download the latest updated version."
                           : "인터넷 익스플로러를 이용하여 파일 다운로드를 시도하였으나\n알 수 "
                             "없는 이유로 실패하였습니다.\n죄송하지만 당사 홈페이지(" +
                                 host +
                                 ")를 직접 방문하여\n최신 프로그램을 다운 받으시기 "
                                 "바랍니다.";
    }
    return {};
}

std::string QuestionText(Language language, const std::string& current, const std::string& latest) {
    if (language == Language::kEnglish) {
        return "The current programme\t: " + current + "\nThe latest programme\t: " + latest +
               "\nWould you please kindly download the latest programme?";
    }
    return "현재 프로그램 : " + current + "\n최신 프로그램 : " + latest +
           "\n새 프로그램을 다운로드 하시겠습니까?";
}

std::string StatusText(Language language) {
    return language == Language::kEnglish
               ? "Now, it is checking whether it is  the lastet version of programme or not."
               : "최신 프로그램의 버전을 확인하고 있습니다 .";
}

std::string VersionLabel(Language language) {
    return language == Language::kEnglish ? "The current programe version :"
                                          : "현재 프로그램 버전 :";
}

}  // namespace koru::upcheck
