<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>CPallockDlg</name>
    <message>
        <source>请输入一个数字。</source>
        <translation>Please enter a number.</translation>
    </message>
    <message>
        <source>请输入一个整数。</source>
        <translation>Please enter a whole number.</translation>
    </message>
    <message>
        <source>判决参数无效</source>
        <translation>Invalid decision settings</translation>
    </message>
    <message>
        <source>请输入以逗号分隔的导联号，每个在 1 和 21 之间，不可重复。</source>
        <translation>Please enter leads separated by commas, each from 1 to 21, none twice.</translation>
    </message>
    <message>
        <source>请输入一个在 %1 和 %2 之间的整数。</source>
        <translation>Please enter a whole number from %1 to %2.</translation>
    </message>
    <message>
        <source>放大器客户端初始化失败!</source>
        <translation>Amplifier client initialisation failed!</translation>
    </message>
    <message>
        <source>放大器客户端创建失败!</source>
        <translation>Cannot create the amplifier client!</translation>
    </message>
    <message>
        <source>连接放大器成功!</source>
        <translation>Connected to the amplifier!</translation>
    </message>
    <message>
        <source>连接放大器失败!</source>
        <translation>Cannot connect to the amplifier!</translation>
    </message>
    <message>
        <source>放大器连接断开!</source>
        <translation>Amplifier link lost!</translation>
    </message>
    <message>
        <source>评分系统客户端初始化失败!</source>
        <translation>Scoring client initialisation failed!</translation>
    </message>
    <message>
        <source>评分系统客户端创建失败!</source>
        <translation>Cannot create the scoring client!</translation>
    </message>
    <message>
        <source>连接评分系统成功!</source>
        <translation>Connected to the scoring system!</translation>
    </message>
    <message>
        <source>连接评分系统失败!</source>
        <translation>Cannot connect to the scoring system!</translation>
    </message>
    <message>
        <source>评分系统连接断开!</source>
        <translation>Scoring link lost!</translation>
    </message>
    <message>
        <source>连接放大器</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>评分系统</source>
        <translation>Scoring system</translation>
    </message>
    <message>
        <source>SSVEP BCI参数设定</source>
        <translation>SSVEP BCI parameters</translation>
    </message>
    <message>
        <source>连接状态</source>
        <translation>Connection status</translation>
    </message>
    <message>
        <source>判断结果</source>
        <translation>Results</translation>
    </message>
    <message>
        <source>检测方法</source>
        <translation>Detection method</translation>
    </message>
    <message>
        <source>IP地址</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>端口号</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>连接评分系统</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>发送命令</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>刺激频率</source>
        <translation>Stimuli Hz</translation>
    </message>
    <message>
        <source>导联</source>
        <translation>Lead</translation>
    </message>
    <message>
        <source>fft 分析的导联：记录槽号 1-21 或电极名，如 11 或 O1（与 Vostrel 的 O1(9) 同一电极）</source>
        <translation>The lead fft analyses: a record slot 1-21 or an electrode label, such as 11 or O1 (the electrode Vostrel labels O1(9))</translation>
    </message>
    <message>
        <source>判断阈值</source>
        <translation>Threshold</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>方法</source>
        <translation>Method</translation>
    </message>
    <message>
        <source>fft：单导联频谱；cca、fbcca：多导联典型相关</source>
        <translation>fft: one lead&apos;s spectrum; cca, fbcca: canonical correlation of several leads</translation>
    </message>
    <message>
        <source>多导联</source>
        <translation>Leads</translation>
    </message>
    <message>
        <source>cca、fbcca 分析的导联：记录槽号或电极名，以逗号分隔，如 O1,O2 或 11,12</source>
        <translation>The leads cca and fbcca analyse: record slots or electrode labels separated by commas, such as O1,O2 or 11,12</translation>
    </message>
    <message>
        <source>关于 Pallock(&amp;A)...</source>
        <translation>&amp;About Pallock...</translation>
    </message>
    <message>
        <source>断开放大器</source>
        <translation>Disconnect the amplifier</translation>
    </message>
    <message>
        <source>断开评分系统</source>
        <translation>Disconnect the scoring system</translation>
    </message>
    <message>
        <source>请输入 1 到 21 的导联号或电极名，如 O1。</source>
        <translation>Please enter a lead from 1 to 21 or an electrode label, such as O1.</translation>
    </message>
    <message>
        <source>每秒重连放大器 %1</source>
        <translation>Reconnecting to the amplifier %1 every second</translation>
    </message>
    <message>
        <source>每秒重连评分系统 %1</source>
        <translation>Reconnecting to the scoring system %1 every second</translation>
    </message>
    <message>
        <source>无数据</source>
        <translation>No data</translation>
    </message>
    <message>
        <source>尚未连接评分系统</source>
        <translation>The scoring system is not connected</translation>
    </message>
    <message>
        <source>数据速率异常</source>
        <translation>Unexpected data rate</translation>
    </message>
    <message>
        <source>刺激频率无效</source>
        <translation>Invalid stimulus frequencies</translation>
    </message>
    <message>
        <source>关于 Pallock</source>
        <translation>About Pallock</translation>
    </message>
    <message>
        <source>Pallock，%1 版
版权所有 (C) 2026</source>
        <translation>Pallock, version %1
Copyright (C) 2026</translation>
    </message>
    <message>
        <source>连接尚未断开，确定退出吗?</source>
        <translation>Still connected. Exit anyway?</translation>
    </message>
    <message>
        <source>连接放大器</source>
        <comment>group</comment>
        <translation>Amplifier</translation>
    </message>
</context>
<context>
    <name>DecisionPanel</name>
    <message>
        <source>判断 %1 次，弃权 %2 次，平均 %3 秒</source>
        <translation>%1 decisions, %2 abstentions, mean %3 s</translation>
    </message>
    <message>
        <source>判决方式</source>
        <translation>Decision rules</translation>
    </message>
    <message>
        <source>提示码</source>
        <translation>Cue</translation>
    </message>
    <message>
        <source>窗口从此事件码起算，如 0x800B；空则连续分窗</source>
        <translation>Windows start at this event code, such as 0x800B; empty: back to back</translation>
    </message>
    <message>
        <source>延迟</source>
        <translation>Delay</translation>
    </message>
    <message>
        <source>提示后多少秒开窗</source>
        <translation>Seconds from the cue to the window</translation>
    </message>
    <message>
        <source>动态窗</source>
        <translation>Grow</translation>
    </message>
    <message>
        <source>最短:步长:最长（秒），如 1:0.25:3；空则固定 2 秒</source>
        <translation>Shortest:step:longest (s), such as 1:0.25:3; empty: a fixed 2 s</translation>
    </message>
    <message>
        <source>弃权</source>
        <translation>Abstain</translation>
    </message>
    <message>
        <source>动态窗到最长仍不够裕度时不判断</source>
        <translation>No decision when the longest window still lacks the margin</translation>
    </message>
    <message>
        <source>判决裕度</source>
        <translation>Margin</translation>
    </message>
    <message>
        <source>(最大-次大)/最大；自适应时为 z 分数之差；空则不设</source>
        <translation>(best - second) / best; with Adapt the difference of z-scores; empty: none</translation>
    </message>
    <message>
        <source>自适应</source>
        <translation>Adapt</translation>
    </message>
    <message>
        <source>按各类最近 N 次结果标准化；空或 0 则不用</source>
        <translation>Each stimulus&apos;s score against its last N results; empty or 0: off</translation>
    </message>
</context>
</TS>
