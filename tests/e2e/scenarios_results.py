"""End-to-end scenarios: what the log says after an installer's exit code
(the plain suite of e2e.py). The sample installer installs as always and
then ends with the code that its settings block names."""
from e2e import Log, N, Program, pkg


def chosen(tag, name, file_name, record, exit_code):
    return N(tag, [("name", name), ("fileName", file_name), ("state", "2")],
             package=pkg(name, file_name + ".dat", record, exit_code=exit_code))


def exit_code_site(world):
    return N("InstallFiles", [("name", "返回值目录")], [
        N("Group", [("name", "返回值"), ("path", "codes")], [
            chosen("Tool", "失败工具", "fail.exe", "no", 1603),
            chosen("Tool", "重启工具", "reboot.exe", "no", 3010),
            # A quota library is judged by its record, not by its code.
            chosen("Dek", "失败定额", "dekfail.exe", "yes", 1603),
            chosen("Tool", "正常工具", "fine.exe", "no", 0),
        ]),
    ])


def installer_exit_codes(world):
    world.reset("[Dek Files]\r\n", site=exit_code_site)
    p = Program(world)
    try:
        log = Log(world.urls)
        log.fetch("失败工具", "both", "安装失败，返回值 1603。\r\n")
        log.fetch("重启工具", "both", "安装完成。\r\n")
        log.fetch("失败定额", "both", "安装完成。\r\n")
        log.fetch("正常工具", "both", "安装完成。\r\n")
        log.text("以下软件安装失败:\r\n    失败工具\r\n需要重新启动计算机才能完成安装。\r\n")
        p.install(log)
    finally:
        p.kill()
    world.check_aftermath(["fail.exe|/auto /s|失败工具", "reboot.exe|/auto /s|重启工具",
                           "dekfail.exe|/auto /s|失败定额", "fine.exe|/auto /s|正常工具"],
                          ["fail.exe", "reboot.exe", "dekfail.exe", "fine.exe"],
                          {"失败定额": "C:\\QuotaLib\\dekfail.exe.dat"})


SCENARIOS = [installer_exit_codes]
