"""End-to-end scenarios (plain suite): the log after installers' exit codes."""
from e2e import Log, N, install, pkg, tool


def chosen(tag, name, file_name, record, exit_code):
    return tool(name, file_name, tag=tag, package=pkg(name, file_name + ".dat", record, exit_code=exit_code))


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
    world.reset(site=exit_code_site)
    log = Log(world.urls)
    log.fetch("失败工具", "both", "安装失败，返回值 1603。\r\n")
    log.installs("重启工具", "失败定额", "正常工具")
    install(world, log.text("以下软件安装失败:\r\n    失败工具\r\n需要重新启动计算机才能完成安装。\r\n"))
    runs = [("fail.exe", "失败工具"), ("reboot.exe", "重启工具"), ("dekfail.exe", "失败定额"),
            ("fine.exe", "正常工具")]
    world.check_aftermath(runs, [f for f, _ in runs], {"失败定额": "C:\\QuotaLib\\dekfail.exe.dat"})


SCENARIOS = [installer_exit_codes]
