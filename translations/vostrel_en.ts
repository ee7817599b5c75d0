<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>CAboutBox</name>
    <message>
        <source>关于 Vostrel</source>
        <translation>About Vostrel</translation>
    </message>
    <message>
        <source>Vostrel %1 版</source>
        <translation>Vostrel version %1</translation>
    </message>
    <message>
        <source>版权所有 (C) 2026</source>
        <translation>Copyright (C) 2026</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>CImpedanceRangeDialog</name>
    <message>
        <source>最小值</source>
        <translation>Minimum</translation>
    </message>
    <message>
        <source>最大值</source>
        <translation>Maximum</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>请输入一个整数。</source>
        <translation>Please enter a whole number.</translation>
    </message>
    <message>
        <source>最大值不能等于最小值</source>
        <translation>The maximum cannot equal the minimum</translation>
    </message>
</context>
<context>
    <name>CLeadSelectionDialog</name>
    <message>
        <source>导联选择 </source>
        <translation>Lead Selection</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>全选</source>
        <translation>Select All</translation>
    </message>
    <message>
        <source>全部取消</source>
        <translation>Clear All</translation>
    </message>
</context>
<context>
    <name>CMainFrame</name>
    <message>
        <source>增益(&amp;G)</source>
        <translation>&amp;Gain</translation>
    </message>
    <message>
        <source>时间(&amp;T)</source>
        <translation>&amp;Time</translation>
    </message>
    <message>
        <source>就绪</source>
        <translation>Ready</translation>
    </message>
    <message>
        <source>大写</source>
        <translation>CAP</translation>
    </message>
    <message>
        <source>滚动</source>
        <translation>SCRL</translation>
    </message>
    <message>
        <source>连接断开  丢帧 000000</source>
        <translation>Disconnected  Lost frames 000000</translation>
    </message>
</context>
<context>
    <name>CSettingsDlg</name>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>仿真信号</source>
        <translation>Simulated</translation>
    </message>
    <message>
        <source>放大器</source>
        <translation>Amplifier</translation>
    </message>
    <message>
        <source>放大器类型</source>
        <translation>Amplifier</translation>
    </message>
    <message>
        <source>采样率</source>
        <translation>Rate (Hz)</translation>
    </message>
    <message>
        <source>模拟数据</source>
        <translation>Data file</translation>
    </message>
    <message>
        <source>数据包大小</source>
        <translation>Packet size</translation>
    </message>
    <message>
        <source>导联数</source>
        <translation>Channels</translation>
    </message>
    <message>
        <source>电极位置</source>
        <translation>Electrodes</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>数据文件打开失败: %1 (%2)</source>
        <translation>Cannot open the data file: %1 (%2)</translation>
    </message>
    <message>
        <source>设置参数无效</source>
        <translation>Invalid settings</translation>
    </message>
</context>
<context>
    <name>CVostrelApp</name>
    <message>
        <source>脑电采集</source>
        <translation>EEG Acquisition</translation>
    </message>
</context>
<context>
    <name>CVostrelView</name>
    <message>
        <source>已停止</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>无数据</source>
        <translation>No data</translation>
    </message>
    <message>
        <source>无放大器</source>
        <translation>No amplifier</translation>
    </message>
    <message>
        <source>正在连接</source>
        <translation>Connecting</translation>
    </message>
    <message>
        <source>正在回放</source>
        <translation>Playing back</translation>
    </message>
    <message>
        <source>正在采集</source>
        <translation>Acquiring</translation>
    </message>
    <message>
        <source>连接断开</source>
        <translation>Disconnected</translation>
    </message>
    <message>
        <source>%1  丢帧 %2</source>
        <translation>%1  Lost frames %2</translation>
    </message>
    <message>
        <source>每帧凭自身的固定字节校验，收齐即送出</source>
        <translation>Each frame is checked by its own constant bytes and passed on when complete</translation>
    </message>
    <message>
        <source>正在学习帧的固定字节：每帧等其后两个帧头到齐再送出</source>
        <translation>Learning the frames&apos; constant bytes: each frame waits for the next two headers</translation>
    </message>
    <message>
        <source>
重复帧 %1（已丢弃）</source>
        <translation>
Repeated frames %1 (dropped)</translation>
    </message>
    <message>
        <source>就绪</source>
        <translation>Ready</translation>
    </message>
    <message>
        <source>最高阻抗 %1</source>
        <translation>Highest impedance %1</translation>
    </message>
    <message>
        <source>正在监听端口 %1</source>
        <translation>Listening on port %1</translation>
    </message>
    <message>
        <source>
客户端 %1</source>
        <translation>
Client %1</translation>
    </message>
</context>
<context>
    <name>Command</name>
    <message>
        <source>设置(&amp;S)...</source>
        <translation>&amp;Settings...</translation>
    </message>
    <message>
        <source>开始(&amp;B)</source>
        <translation>&amp;Start</translation>
    </message>
    <message>
        <source>开始</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>暂停(&amp;P)</source>
        <translation>&amp;Pause</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>停止(&amp;H)</source>
        <translation>S&amp;top</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>存储数据(&amp;R)</source>
        <translation>&amp;Record</translation>
    </message>
    <message>
        <source>存储数据</source>
        <translation>Record</translation>
    </message>
    <message>
        <source>导出 BDF+/EDF+/GDF(&amp;E)...</source>
        <translation>&amp;Export BDF+/EDF+/GDF...</translation>
    </message>
    <message>
        <source>退出(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>放大(&amp;O)</source>
        <translation>&amp;Increase</translation>
    </message>
    <message>
        <source>放大</source>
        <translation>Increase gain</translation>
    </message>
    <message>
        <source>减小(&amp;I)</source>
        <translation>&amp;Decrease</translation>
    </message>
    <message>
        <source>缩小</source>
        <translation>Decrease gain</translation>
    </message>
    <message>
        <source>自动增益(&amp;A)</source>
        <translation>&amp;Automatic Gain</translation>
    </message>
    <message>
        <source>自动</source>
        <translation>Automatic gain</translation>
    </message>
    <message>
        <source>增加(&amp;P)</source>
        <translation>&amp;Faster</translation>
    </message>
    <message>
        <source>时间增加</source>
        <translation>Fewer seconds</translation>
    </message>
    <message>
        <source>减少(&amp;D)</source>
        <translation>&amp;Slower</translation>
    </message>
    <message>
        <source>时间增少</source>
        <translation>More seconds</translation>
    </message>
    <message>
        <source>导联设置</source>
        <translation>Leads...</translation>
    </message>
    <message>
        <source>阻抗/波形</source>
        <translation>Impedance/Waveforms</translation>
    </message>
    <message>
        <source>阻抗范围</source>
        <translation>Impedance Range...</translation>
    </message>
    <message>
        <source>关于 Vostrel(&amp;A)...</source>
        <translation>&amp;About Vostrel...</translation>
    </message>
    <message>
        <source>插入标记(&amp;M)</source>
        <translation>Insert &amp;Marker</translation>
    </message>
    <message>
        <source>插入标记</source>
        <translation>Insert marker</translation>
    </message>
</context>
<context>
    <name>CoreText</name>
    <message>
        <source>放大器打开失败</source>
        <translation>Cannot open the amplifier</translation>
    </message>
    <message>
        <source>数据文件打开失败</source>
        <translation>Cannot open the data file</translation>
    </message>
    <message>
        <source>数据写入失败</source>
        <translation>Cannot write the data</translation>
    </message>
    <message>
        <source>放大器连接断开</source>
        <translation>Amplifier disconnected</translation>
    </message>
    <message>
        <source>USB 放大器</source>
        <translation>USB amplifier</translation>
    </message>
    <message>
        <source>数据包大小 %1 超出放大器的数据帧</source>
        <translation>Packet size %1 exceeds the amplifier&apos;s frame</translation>
    </message>
    <message>
        <source>导联数 %1 超出放大器的数据帧：数据包大小 %2 时最多 %3 导联</source>
        <translation>%1 channels exceed the amplifier&apos;s frame: at packet size %2 at most %3 channels</translation>
    </message>
    <message>
        <source>无法打开</source>
        <translation>cannot open</translation>
    </message>
    <message>
        <source>无法设置波特率 %1</source>
        <translation>cannot set baud rate %1</translation>
    </message>
    <message>
        <source>放大器仿真器</source>
        <translation>amplifier emulator</translation>
    </message>
    <message>
        <source>已拔出</source>
        <translation>unplugged</translation>
    </message>
    <message>
        <source>未打开</source>
        <translation>not open</translation>
    </message>
    <message>
        <source>USB 串口</source>
        <translation>USB serial port</translation>
    </message>
    <message>
        <source>未找到 USB 串口</source>
        <translation>no USB serial port found</translation>
    </message>
    <message>
        <source>没有这个设备</source>
        <translation>no such device</translation>
    </message>
    <message>
        <source>设备已断开</source>
        <translation>device disconnected</translation>
    </message>
    <message>
        <source>电极位置文件打开失败</source>
        <translation>Cannot open the electrode file</translation>
    </message>
    <message>
        <source>正在监听</source>
        <translation>Listening</translation>
    </message>
    <message>
        <source>已连接</source>
        <translation>Connected</translation>
    </message>
    <message>
        <source>创建服务器失败</source>
        <translation>Cannot create the server</translation>
    </message>
    <message>
        <source>监听失败</source>
        <translation>Cannot listen</translation>
    </message>
    <message>
        <source>初始化失败!</source>
        <translation>Initialisation failed!</translation>
    </message>
</context>
<context>
    <name>ExportCommand</name>
    <message>
        <source>正在导出...</source>
        <translation>Exporting...</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>导出 BDF+/EDF+/GDF</source>
        <translation>Export BDF+/EDF+/GDF</translation>
    </message>
    <message>
        <source>导出已取消</source>
        <translation>Export cancelled</translation>
    </message>
    <message>
        <source>导出失败: %1</source>
        <translation>Export failed: %1</translation>
    </message>
    <message>
        <source>已导出 %1
%2 通道, %3 样本, %4 秒, %5 个标注</source>
        <translation>Exported %1
%2 channels, %3 samples, %4 s, %5 annotations</translation>
    </message>
    <message>
        <source>
未给出微伏/计数: 数值为原始计数 (count)</source>
        <translation>
No microvolts per count given: values are raw counts (count)</translation>
    </message>
    <message>
        <source>
无记录信息文件: 开始时间为文件时间减去时长</source>
        <translation>
No recording sidecar: the start time is the file&apos;s time less its duration</translation>
    </message>
    <message>
        <source>
记录末尾不完整 (%1 字节), 已导出其完整记录</source>
        <translation>
The recording ends incomplete (%1 bytes); its whole records were exported</translation>
    </message>
</context>
<context>
    <name>ExportDialog</name>
    <message>
        <source>导出参数无效</source>
        <translation>Invalid export parameters</translation>
    </message>
    <message>
        <source>导出 BDF+/EDF+/GDF</source>
        <translation>Export BDF+/EDF+/GDF</translation>
    </message>
    <message>
        <source>记录文件:</source>
        <translation>Recording:</translation>
    </message>
    <message>
        <source>记录文件</source>
        <translation>Recording</translation>
    </message>
    <message>
        <source>导出文件:</source>
        <translation>Export to:</translation>
    </message>
    <message>
        <source>导出文件</source>
        <translation>Export to</translation>
    </message>
    <message>
        <source>空: 原始计数</source>
        <translation>empty: raw counts</translation>
    </message>
    <message>
        <source>微伏/计数:</source>
        <translation>µV per count:</translation>
    </message>
    <message>
        <source>电极文件:</source>
        <translation>Electrodes:</translation>
    </message>
    <message>
        <source>电极文件</source>
        <translation>Electrode file</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>浏览...</source>
        <translation>Browse...</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>未测</source>
        <translation>not measured</translation>
    </message>
</context>
<context>
    <name>SaveDataCommand</name>
    <message>
        <source>存储数据: %1</source>
        <translation>Recording: %1</translation>
    </message>
    <message>
        <source>存储结束: %1, %2 个记录, 丢帧 %3</source>
        <translation>Recording ended: %1, %2 records, lost frames %3</translation>
    </message>
</context>
</TS>
